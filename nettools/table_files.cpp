// Normalisation tables (".trf": a line of means, a line of scales) and
// class frequencies (".fre": the class count, one count per class, total).
#include <cmath>
#include <cstdio>
#include <memory>
#include <new>

#include "nettools/console.h"
#include "nettools/net_files.h"
#include "nettools/text_numbers.h"
#include "nettools/token_reader.h"

namespace {

// The first count values of one line, separated by blanks, tabs or commas,
// kept as read: a scale's reciprocal is taken from the value itself, not
// from its float.
bool read_table_line(LineReader& in, int count, double* out)
{
    std::string line;
    if (!in.next(&line))
        return false;
    int found = 0;
    size_t start = 0;
    while (found < count && start <= line.size()) {
        size_t end = line.find_first_of(" \t,\r", start);
        if (end == std::string::npos)
            end = line.size();
        if (end > start) {
            double value = 0.0;
            if (!parse_real(line.substr(start, end - start), &value))
                return false;
            out[found++] = value;
        }
        start = end + 1;
    }
    return found == count;
}

// Means, then reciprocal scales (0 for a scale of 0), as floats; the number
// (from 1) of the first scale whose reciprocal overflows a float, or 0.
size_t fill_table(const double* read, size_t n, float* table)
{
    for (size_t i = 0; i < n; ++i) {
        double scale = read[n + i];
        table[i] = static_cast<float>(read[i]);
        table[n + i] = scale != 0.0 ? static_cast<float>(1.0 / scale) : 0.0f;
        if (!std::isfinite(table[n + i]))
            return i + 1;
    }
    return 0;
}

}  // namespace

int net_read_normalization(NetGraph* net, const std::string& path)
{
    if (path.empty())
        return 1;
    std::string refusal;
    std::unique_ptr<FILE, int (*)(FILE*)> file(open_input(path, &refusal), fclose);
    if (!file && !refusal.empty()) {
        printf("Error in normfile %s: %s!\n", path.c_str(), refusal.c_str());
        return 0;
    }
    if (!file)
        return 1;
    LineReader in(file.get());
    size_t n = static_cast<size_t>(net->inputCount);
    std::unique_ptr<double[]> read(new (std::nothrow) double[2 * n + 1]);
    std::unique_ptr<float[]> table;
    if (!read || !read_table_line(in, net->inputCount, read.get()) ||
        !read_table_line(in, net->inputCount, read.get() + n) ||
        !(table = std::unique_ptr<float[]>(new (std::nothrow) float[2 * n + 1]))) {
        printf("Error in normfile %s: two lines of %d numbers expected!\n", path.c_str(),
               net->inputCount);
        return 0;
    }
    // A scale so small that its reciprocal overflows would turn every input
    // into an infinity or NaN.
    if (size_t bad = fill_table(read.get(), n, table.get())) {
        printf("Error in normfile %s: scale %zu is too small for its reciprocal to be finite!\n",
               path.c_str(), bad);
        return 0;
    }
    delete[] net->normalization;
    net->normalization = table.release();
    return 1;
}

int read_class_frequencies(const std::string& path, int classes, std::vector<int>* counts)
{
    std::string refusal;
    FILE* f = open_input(path, &refusal);
    if (!f && !refusal.empty()) {
        print_file_refusal(path, refusal);
        return 4;
    }
    if (!f)
        return 1;
    TokenReader in(f);
    int first = 0, result = 0;
    if (!in.read_int(&first) || first != classes) {
        result = 2;
    } else {
        counts->clear();
        for (int c = 0; c < classes && result == 0; ++c) {
            int count = 0;
            if (!in.read_int(&count) || count < 0)
                result = 3;
            else
                counts->push_back(count);
        }
    }
    fclose(f);
    return result;
}
