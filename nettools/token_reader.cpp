// Opening, line reading and token scanning for the data, weights,
// normalisation and class-frequency files.
#include "nettools/token_reader.h"

#include <cctype>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <sys/types.h>
#include <unistd.h>

#include "filesave/filesave.h"
#include "nettools/text_numbers.h"

FILE* open_input(const std::string& path, std::string* refusal)
{
    int fd = open_regular_file(path.c_str(), refusal);
    // Only a file that is not there counts as missing: one that is there but
    // cannot be read must not pass for an absent optional file.
    if (fd < 0 && refusal->empty() && errno != ENOENT && errno != ENOTDIR)
        *refusal = strerror(errno);
    if (fd < 0)
        return nullptr;
    FILE* f = fdopen(fd, "r");
    if (!f) {
        *refusal = strerror(errno);
        close(fd);
    }
    return f;
}

LineReader::~LineReader()
{
    free(buffer_);
}

bool LineReader::next(std::string* line)
{
    ssize_t length = getline(&buffer_, &capacity_, file_);
    if (length < 0)
        return false;
    if (length > 0 && buffer_[length - 1] == '\n')
        --length;
    line->assign(buffer_, static_cast<size_t>(length));
    return true;
}

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
