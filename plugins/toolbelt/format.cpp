// format_write: the scan of a `write` format. Backslash escapes "\t", "\n",
// "\r" and "\\", "%%" for a percent sign, and directives
//   "%" [flags +-0 #]* [width digits]* [dots]* [precision digits]*
//       [sizes hlL]* [one conversion of cCdiouxXeEfgGnpsS]
// each of which takes the next argument. The standard formatter only ever
// sees a directive rebuilt from the parsed pieces with a plain conversion and
// a value of the type that conversion expects.
#include "format.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "scriptrun/plugin_api.h"

namespace {

constexpr int TEXT_LIMIT = WRITE_BUFFER_SIZE - 1;

// Widths and precisions above this cannot change what fits in the output.
constexpr long FIELD_LIMIT = WRITE_BUFFER_SIZE;

// The output text, cut at TEXT_LIMIT characters.
struct Output {
    char* text;  // WRITE_BUFFER_SIZE bytes
    int length;  // characters held, at most TEXT_LIMIT
    bool full() const { return length >= TEXT_LIMIT; }
    void append(const char* piece, int count)
    {
        if (count > TEXT_LIMIT - length)
            count = TEXT_LIMIT - length;
        memcpy(text + length, piece, count);
        length += count;
    }
    void put(char c) { append(&c, 1); }
};

// One directive as parsed from the format.
struct Directive {
    int length;          // characters of the directive text, "%" included
    bool flags[5];       // which of the flags "+- #0" occur
    long width;          // -1 when absent, else at most FIELD_LIMIT
    bool has_dot;        // a precision part is present
    long precision;      // digits after the dot, at most FIELD_LIMIT
    char conversion;     // plain conversion character, 0 when none
    int shorts;          // 1 for "h", 2 for "hh" before an integer conversion, else 0
};

const char FLAG_CHARS[] = "+- #0";

// Reads a run of digits at text[*at], clamped to FIELD_LIMIT; -1 for none.
long read_digits(const char* text, int* at)
{
    long value = -1;
    while (text[*at] >= '0' && text[*at] <= '9') {
        long digit = text[*at] - '0';
        value = value < 0 ? digit : value * 10 + digit;
        if (value > FIELD_LIMIT)
            value = FIELD_LIMIT;
        ++*at;
    }
    return value;
}

// Parses the directive that starts with the "%" at text[0]. A size run of
// exactly "h" or "hh" before d, i, o, u, x or X is kept (the int argument is
// then narrowed to short or char, which is well defined); every other size
// run is dropped and the wide conversions "C" and "S" become "c" and "s".
Directive parse_directive(const char* text)
{
    Directive d = {};
    int at = 1;
    for (const char* flag; text[at] && (flag = strchr(FLAG_CHARS, text[at])); ++at)
        d.flags[flag - FLAG_CHARS] = true;
    d.width = read_digits(text, &at);
    while (text[at] == '.') {
        d.has_dot = true;
        ++at;
    }
    d.precision = read_digits(text, &at);
    int sizes = at;
    while (text[at] && strchr("hlL", text[at]))
        ++at;
    bool only_h = at - sizes <= 2 && strspn(text + sizes, "h") == static_cast<size_t>(at - sizes);
    if (text[at] && strchr("cCdiouxXeEfgGnpsS", text[at])) {
        char c = text[at++];
        d.conversion = c == 'C' ? 'c' : c == 'S' ? 's' : c;
        if (only_h && strchr("diouxX", c))
            d.shorts = at - 1 - sizes;
    }
    d.length = at;
    return d;
}

// The directive as handed to the standard formatter, e.g. "%-08.3f".
void build_directive(const Directive& d, char* directive, size_t size)
{
    int n = 0;
    directive[n++] = '%';
    for (int i = 0; i < 5; ++i)
        if (d.flags[i])
            directive[n++] = FLAG_CHARS[i];
    if (d.width >= 0)
        n += snprintf(directive + n, size - n, "%ld", d.width);
    if (d.has_dot)
        n += snprintf(directive + n, size - n, ".%ld", d.precision < 0 ? 0 : d.precision);
    for (int i = 0; i < d.shorts; ++i)
        directive[n++] = 'h';
    directive[n++] = d.conversion;
    directive[n] = '\0';
}

// snprintf's count of what it would write, cut to what the buffer holds;
// a failure gives the text "?".
int clamp_length(int written, char* scratch)
{
    if (written < 0) {
        strcpy(scratch, "?");
        return 1;
    }
    return written < TEXT_LIMIT ? written : TEXT_LIMIT;
}

// An integer conversion takes the number truncated toward zero; numbers
// outside the 32-bit range (and NaN) have no such value and give "?".
int format_integer(const char* directive, char conversion, double x, char* scratch)
{
    if (!(x > -2147483649.0 && x < 2147483648.0)) {
        strcpy(scratch, "?");
        return 1;
    }
    int i = static_cast<int>(x);
    if (strchr("ouxX", conversion))
        return clamp_length(snprintf(scratch, WRITE_BUFFER_SIZE, directive, static_cast<unsigned>(i)), scratch);
    return clamp_length(snprintf(scratch, WRITE_BUFFER_SIZE, directive, i), scratch);
}

// Formats one argument into `scratch` (WRITE_BUFFER_SIZE bytes); returns the
// length of the text. Any pairing of value and conversion not listed gives "?".
int format_argument(const Directive& d, void* value, int type, char* scratch)
{
    char directive[64];
    build_directive(d, directive, sizeof directive);
    char c = d.conversion;
    if (type == VALUE_NUMBER && value && strchr("cdiouxX", c))
        return format_integer(directive, c, *static_cast<double*>(value), scratch);
    if (type == VALUE_NUMBER && value && strchr("eEfgG", c))
        return clamp_length(snprintf(scratch, WRITE_BUFFER_SIZE, directive, *static_cast<double*>(value)), scratch);
    if (c == 'p')
        return clamp_length(snprintf(scratch, WRITE_BUFFER_SIZE, directive, value), scratch);
    if (type == VALUE_STRING && c == 's') {
        const char* text = value ? static_cast<const char*>(value) : "(null)";
        return clamp_length(snprintf(scratch, WRITE_BUFFER_SIZE, directive, text), scratch);
    }
    strcpy(scratch, "?");
    return 1;
}

// Handles the backslash at format[0] (not the last character); returns the
// number of format characters consumed.
int put_escape(const char* format, Output& out)
{
    switch (format[1]) {
    case 't': out.put('\t'); return 2;
    case 'n': out.put('\n'); return 2;
    case 'r': out.put('\r'); return 2;
    case '\\': out.put('\\'); return 2;
    default: out.put('\\'); return 1;
    }
}

}  // namespace

int format_write(const char* format, void** values, const int* types,
                 int count, char* output)
{
    Output out = {output, 0};
    char scratch[WRITE_BUFFER_SIZE];
    int used = 0;
    int length = static_cast<int>(strlen(format));
    int at = 0;
    while (at < length && !out.full()) {
        const char* here = format + at;
        if (at + 1 == length) {
            out.put(*here);
            ++at;
        } else if (*here == '\\') {
            at += put_escape(here, out);
        } else if (*here == '%' && here[1] == '%') {
            out.put('%');
            at += 2;
        } else if (*here == '%') {
            Directive d = parse_directive(here);
            if (d.conversion == 0 || used >= count - 1) {
                out.append(here, d.length);
            } else {
                ++used;
                out.append(scratch, format_argument(d, values[used], types[used], scratch));
            }
            at += d.length;
        } else {
            out.put(*here);
            ++at;
        }
    }
    output[out.length] = '\0';
    return out.length;
}
