// Builders shared by the network tests.
#include "tests/nettools/net_test_helpers.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include <unistd.h>

NetGraph* layered_net(const std::vector<int>& sizes, UnitKind outputKind)
{
    int weights = 1, units = 0;
    for (size_t l = 1; l < sizes.size(); ++l) {
        weights += sizes[l - 1] * sizes[l];
        units += sizes[l];
    }
    NetGraph* net = new NetGraph();
    int layers = static_cast<int>(sizes.size());
    if (!net_alloc(net, sizes.front(), sizes.back(), units, weights, layers)) {
        free_net(net);
        return nullptr;
    }
    net->outputKind = outputKind;
    for (int l = 0; l < layers; ++l)
        net->layerSizes[l] = sizes[l];
    if (!net_wire_layers(net)) {
        free_net(net);
        return nullptr;
    }
    return net;
}

void set_layer(NetGraph* net, int firstUnit, int count, const double* weights,
               const double* biases)
{
    for (int m = firstUnit; m < firstUnit + count; ++m) {
        NetUnit* u = net->units[m];
        for (int j = 0; j < u->fanIn; ++j)
            *u->inputWeights[j] = static_cast<float>(weights[(m - firstUnit) * u->fanIn + j]);
        u->bias = static_cast<float>(biases[m - firstUnit]);
    }
}

void free_net(NetGraph* net)
{
    net_destroy(net);
    delete net;
}

void write_text(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string temp_folder()
{
    // Removed when the process that made them ends; a forked child that
    // leaves through exit() must not take its parent's folders with it.
    struct Made {
        pid_t owner = getpid();
        std::vector<std::string> folders;
        ~Made()
        {
            std::error_code ignored;
            if (getpid() == owner)
                for (const std::string& folder : folders)
                    std::filesystem::remove_all(folder, ignored);
        }
    };
    static Made made;
    char name[] = "/tmp/nettools_test_XXXXXX";
    if (mkdtemp(name) == nullptr)
        return "/tmp/";
    made.folders.push_back(name);
    return std::string(name) + "/";
}
