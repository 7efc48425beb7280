// Token scanning for the weights and class-frequency files.
#include "nettools/token_reader.h"

#include <cctype>

#include "nettools/text_numbers.h"

bool TokenReader::next(std::string* token)
{
    token->clear();
    int c = fgetc(file_);
    while (c != EOF && std::isspace(c))
        c = fgetc(file_);
    while (c != EOF && !std::isspace(c)) {
        token->push_back(static_cast<char>(c));
        c = fgetc(file_);
    }
    return !token->empty();
}

bool TokenReader::read_int(int* value)
{
    std::string token;
    return next(&token) && parse_whole(token, value);
}

bool TokenReader::read_float(float* value)
{
    std::string token;
    double v = 0.0;
    if (!next(&token) || !parse_real(token, &v))
        return false;
    *value = static_cast<float>(v);
    return true;
}

long long file_size(FILE* file)
{
    long here = ftell(file);
    if (here < 0 || fseek(file, 0, SEEK_END) != 0)
        return -1;
    long size = ftell(file);
    fseek(file, here, SEEK_SET);
    return size;
}
