// Console output and the wait for one character.
#include "nettools/console.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

void wait_for_key()
{
    fflush(stdout);
    getchar();
}

void exit_after_key(int status)
{
    wait_for_key();
    exit(status);
}

// Inputs, each hidden layer size (none for an explicit network), outputs.
void print_loaded_sizes(const NetGraph* net)
{
    printf("Loading NEURNET from weightsfile with size of ");
    printf("%i ", net->inputCount);
    for (int l = 1; l < net->layerCount - 1; ++l)
        printf("%i ", net->layerSizes[l]);
    printf("%i\n", net->outputCount);
}

void print_output_layer(const NetGraph* net)
{
    printf("Output layer: ");
    printf("%s\n", output_kind_name(net->outputKind));
}

bool file_exists(const std::string& path)
{
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

void print_missing_file(const std::string& path, int error)
{
    printf("%s: %s\n", path.c_str(), strerror(error));
}

void print_file_refusal(const std::string& path, const std::string& reason)
{
    printf("Cannot read file %s: %s!\n", path.c_str(), reason.c_str());
}
