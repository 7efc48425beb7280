// List values: several items in one attribute value, cut at any character of
// a separators text. Reading and writing are linear in the length.
#ifndef XML_LISTS_H
#define XML_LISTS_H

#include <string>
#include <vector>

// The items of value in order, each NUL-terminated inside one scratch copy;
// empty pieces (separators at either end or in a row) are no items.
class ListItems {
public:
    ListItems(const char* value, const char* separators);
    int count() const { return static_cast<int>(starts.size()); }
    const char* item(int i) const { return scratch.data() + starts[i]; }

private:
    std::string scratch;             // the value with every separator replaced by NUL
    std::vector<size_t> starts;  // offset of each item in scratch
};

// Reads one number from the start of an item like "%d" (clamped to int) or
// "%lf"; false, target untouched, when the item holds none.
bool read_int_item(const char* item, int* target);
bool read_double_item(const char* item, double* target);

// The values formatted with format and joined by separator (an empty text
// for count below 1).
std::string format_int_list(const int* values, int count, const char* separator);
std::string format_double_list(const double* values, int count, const char* separator);

#endif
