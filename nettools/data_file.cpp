// Data files: a first pass finds the feature count (the "," characters of
// the first line) and the number of data lines, a second pass checks and
// stores every line. Lines may be of any length.
#include "nettools/data_file.h"

#include <cerrno>
#include <cstdio>
#include <new>
#include <stdexcept>

#include "nettools/console.h"
#include "nettools/text_numbers.h"
#include "nettools/token_reader.h"

namespace {

int count_commas(const std::string& line)
{
    int commas = 0;
    for (char c : line)
        commas += c == ',';
    return commas;
}

// Lines failing in the second pass follow "Reading ...", hence the line end
// before the message.
void report_line(const std::string& path, long long line, const char* what, bool reading = false)
{
    printf("%sError in file %s, line %lld: %s\n", reading ? "\n" : "", path.c_str(), line, what);
}

// First pass: the feature count of the first data line and the number of
// data lines. Returns false (after a message) for a file without data or a
// first line without features.
bool count_lines(FILE* in, const std::string& path, const char* word, DataFile* data)
{
    std::string line;
    LineReader reader(in);
    long long number = 0, first = 0, lines = 0;
    while (reader.next(&line)) {
        ++number;
        if (is_blank(line))
            continue;
        if (lines == 0) {
            first = number;
            data->features = count_commas(line);
            printf("Number of features in %s: %d\n", word, data->features);
        }
        ++lines;
    }
    if (lines == 0) {
        printf("Error in file %s: no data lines\n", path.c_str());
        return false;
    }
    if (data->features == 0 || lines > 0x7fffffff) {
        report_line(path, first, lines > 0x7fffffff ? "too many lines" : "no feature before the label");
        return false;
    }
    data->lines = static_cast<int>(lines);
    printf("Number of data lines in %s: %d\n", word, data->lines);
    return true;
}

bool allocate(DataFile* data)
{
    try {
        data->values.assign(static_cast<size_t>(data->features) * data->lines, 0.0f);
        data->classes.assign(data->lines, 0);
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
    return true;
}

// Checks one line of the expected field count and stores its features at
// out; returns the class index, or -1 after a message.
int parse_line(const std::string& line, const std::string& path, long long number, int features,
               int maxLabel, float* out)
{
    if (count_commas(line) != features) {
        char what[96];
        snprintf(what, sizeof what, "%d fields where the first line has %d",
                 count_commas(line) + 1, features + 1);
        report_line(path, number, what, true);
        return -1;
    }
    size_t start = 0;
    double value = 0.0;
    for (int i = 0; i < features; ++i) {
        size_t comma = line.find(',', start);
        if (!parse_real(line.substr(start, comma - start), &value)) {
            char what[64];
            snprintf(what, sizeof what, "feature %d is not a number", i + 1);
            report_line(path, number, what, true);
            return -1;
        }
        out[i] = static_cast<float>(value);
        start = comma + 1;
    }
    int label = 0;
    if (!parse_whole(line.substr(start), &label) || label < 1 || label > maxLabel) {
        char what[80];
        snprintf(what, sizeof what, "the label must be a whole number from 1 to %d", maxLabel);
        report_line(path, number, what, true);
        return -1;
    }
    return label - 1;
}

// Second pass: every data line into the block, in file order.
bool read_lines(FILE* in, const std::string& path, int maxLabel, bool countClasses,
                DataFile* data)
{
    std::string line;
    LineReader reader(in);
    long long number = 0;
    int row = 0;
    while (row < data->lines && reader.next(&line)) {
        ++number;
        if (is_blank(line))
            continue;
        float* out = data->values.data() + static_cast<size_t>(row) * data->features;
        int index = parse_line(line, path, number, data->features, maxLabel, out);
        if (index < 0)
            return false;
        data->classes[row++] = index;
        if (index > data->largest)
            data->largest = index;
        if (countClasses) {
            if (static_cast<size_t>(index) >= data->classCounts.size())
                data->classCounts.resize(index + 1, 0);
            ++data->classCounts[index];
        }
    }
    return row == data->lines;
}

DataReadResult read_open_file(FILE* in, const std::string& path, const char* fileWord,
                              int maxLabel, bool countClasses, DataFile* data)
{
    *data = DataFile();
    if (!count_lines(in, path, fileWord, data))
        return DATA_BAD;
    rewind(in);
    if (!allocate(data))
        return DATA_NO_MEMORY;
    printf("Reading %s...", fileWord);
    if (!read_lines(in, path, maxLabel, countClasses, data))
        return DATA_BAD;
    printf("done\n");
    return DATA_READ;
}

}  // namespace

DataReadResult read_data_file(const std::string& path, const char* fileWord, int maxLabel,
                              bool countClasses, DataFile* data)
{
    std::string refusal;
    FILE* in = open_input(path, &refusal);
    int error = errno;
    if (!in) {
        errno = error;  // why nothing stands at path, for the caller
        if (refusal.empty())
            return DATA_NO_FILE;
        print_file_refusal(path, refusal);
        return DATA_BAD;
    }
    DataReadResult result = read_open_file(in, path, fileWord, maxLabel, countClasses, data);
    fclose(in);
    return result;
}

void read_data_or_exit(const std::string& path, const char* fileWord, int maxLabel,
                       bool countClasses, const char* missingText, DataFile* data)
{
    DataReadResult result = read_data_file(path, fileWord, maxLabel, countClasses, data);
    if (result == DATA_NO_FILE) {
        int error = errno;
        printf("%s", missingText);
        print_missing_file(path, error);
    }
    if (result == DATA_NO_MEMORY)
        printf("Not enough memory!\n");
    if (result != DATA_READ)
        exit_after_key(1);
}
