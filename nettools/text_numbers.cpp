// Strict number parsing for the data, weights and normalisation files and
// the command-line arguments.
#include "nettools/text_numbers.h"

#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

// The field without the blanks around it.
std::string trimmed(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && is_space(text[begin]))
        ++begin;
    while (end > begin && is_space(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

}  // namespace

bool is_blank(const std::string& text)
{
    for (char c : text)
        if (!is_space(c))
            return false;
    return true;
}

bool parse_real(const std::string& text, double* value)
{
    std::string field = trimmed(text);
    if (field.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(field.c_str(), &end);
    // A NUL byte ends the conversion early: the field is refused, not cut.
    if (end != field.c_str() + field.size() || !std::isfinite(v) || std::fabs(v) > FLT_MAX)
        return false;
    *value = v;
    return true;
}

bool parse_whole(const std::string& text, int* value)
{
    double v = 0.0;
    if (!parse_real(text, &v) || v != std::floor(v) || v < INT_MIN || v > INT_MAX)
        return false;
    *value = static_cast<int>(v);
    return true;
}
