// Statement execution. An apostrophe and a double quotation mark are
// interchangeable: a quote opens a quoted stretch and the next quote of either
// kind closes it; separators count only outside such stretches.
#include "scriptrun/statement.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "scriptrun/messages.h"

namespace {

bool is_quote(char c)
{
    return c == '\'' || c == '"';
}

// First unquoted occurrence of wanted, quotes counted from the text's start.
char* find_unquoted(char* text, char wanted)
{
    bool quoted = false;
    for (char* p = text; *p != '\0'; ++p) {
        if (is_quote(*p))
            quoted = !quoted;
        else if (!quoted && *p == wanted)
            return p;
    }
    return nullptr;
}

// Cuts the text at each unquoted ",". A piece exists only where text remains
// after the previous cut, so a trailing "," leaves the last of the count
// pieces missing (null); an empty piece between two commas is kept.
std::vector<const char*> split_arguments(char* text)
{
    std::vector<const char*> pieces;
    if (*text == '\0')
        return pieces;
    size_t count = 1;
    for (char* p = find_unquoted(text, ','); p != nullptr; p = find_unquoted(p + 1, ','))
        ++count;
    char* rest = text;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0 && *rest == '\0') {
            pieces.push_back(nullptr);
            continue;
        }
        pieces.push_back(rest);
        char* comma = find_unquoted(rest, ',');
        if (comma != nullptr) {
            *comma = '\0';
            rest = comma + 1;
        } else {
            rest += strlen(rest);
        }
    }
    return pieces;
}

// An argument is a number when the leading number that strtod reads is not
// zero or when strtod reads the whole text (the empty text included); value:
// that number. So hexadecimal numbers, "inf" and "nan" are numbers, as is
// "info" (inf followed by letters), while "0abc" and white space alone are not.
bool read_number(const char* text, double* value)
{
    char* end = nullptr;
    *value = strtod(text, &end);
    return *value != 0.0 || *end == '\0';
}

bool is_string_literal(const char* text)
{
    size_t length = strlen(text);
    return length >= 2 && is_quote(text[0]) && is_quote(text[length - 1]);
}

// clear: names separated by unquoted ","; nothing after the word clears all.
void clear_command(char* rest, Environment& environment)
{
    if (*rest == '\0') {
        environment.remove_all_variables();
        return;
    }
    while (*rest != '\0') {
        char* comma = find_unquoted(rest, ',');
        char* next = comma != nullptr ? comma + 1 : rest + strlen(rest);
        if (comma != nullptr)
            *comma = '\0';
        if (*rest != '\0')
            environment.remove_variable(rest);
        rest = next;
    }
}

// pause: prints the text after the word without its enclosing quotes, then
// waits for one character (end of input counts as one).
void pause_command(char* statement)
{
    if (strlen(statement) > 5) {
        char* text = statement + 5;
        if (is_quote(*text))
            ++text;
        size_t length = strlen(text);
        if (length > 0 && is_quote(text[length - 1]))
            text[length - 1] = '\0';
        print_message("%s", text);
    }
    getchar();
}

void* copy_literal(const char* text, int type)
{
    void* value;
    if (type == VALUE_STRING) {
        size_t length = strlen(text) - 2;
        value = malloc(length + 1);
        if (value != nullptr) {
            memcpy(value, text + 1, length);
            static_cast<char*>(value)[length] = '\0';
        }
    } else {
        value = malloc(sizeof(double));
        if (value != nullptr)
            read_number(text, static_cast<double*>(value));
    }
    if (value == nullptr)
        fatal_message("ERROR: Not enough memory\n");
    return value;
}

// Every argument is classified before the name is bound and before any value
// is made, so an argument error is reported first and a fatal stop leaves no
// half-built call behind.
void call_function(const char* name, char* argument_text, const char* target,
                   Environment& environment, const FunctionLookup& lookup)
{
    std::vector<const char*> pieces = split_arguments(argument_text);
    int count = static_cast<int>(pieces.size());
    std::vector<int> kinds;
    for (const char* piece : pieces) {
        int kind = piece == nullptr ? 0 : classify_argument(piece, environment);
        if (kind == 0)
            fatal_message("ERROR: cannot determine parameter type: %s\n",
                          piece == nullptr ? "(null)" : piece);
        kinds.push_back(kind);
    }
    ScriptFunction function = lookup(name);
    if (function == nullptr)
        fatal_message("ERROR: no function %s\n", name);
    std::unique_ptr<void*[]> values(count > 0 ? new (std::nothrow) void*[count] : nullptr);
    std::unique_ptr<int[]> types(count > 0 ? new (std::nothrow) int[count] : nullptr);
    if (count > 0 && (values == nullptr || types == nullptr))
        fatal_message("ERROR: Not enough memory\n");
    for (int i = 0; i < count; ++i) {
        if (kinds[i] == VALUE_NAME) {
            Variable* variable = environment.find_variable(pieces[i]);
            values[i] = variable->value;
            types[i] = variable->type;
        } else {
            values[i] = copy_literal(pieces[i], kinds[i]);
            types[i] = kinds[i];
        }
    }
    int result_type = VALUE_EMPTY;
    void* result = function(values.get(), types.get(), count, &result_type);
    if (target != nullptr)
        environment.set_variable(target, result_type, result);
}

// A copy into target; a bare name (no target) only has to exist.
void copy_variable(const char* source, const char* target, Environment& environment)
{
    if (target == nullptr) {
        if (environment.find_variable(source) == nullptr)
            fatal_message("ERROR: cannot clone variable %s to %s\n", source, "");
        return;
    }
    if (!environment.clone_variable(source, target))
        fatal_message("ERROR: cannot clone variable %s to %s\n", source, target);
}

}  // namespace

int run_command(char* statement, Environment& environment)
{
    if (strncmp(statement, "whos", 4) == 0) {
        environment.list_variables();
        return 1;
    }
    if (strncmp(statement, "clear", 5) == 0) {
        clear_command(statement + 5, environment);
        return 1;
    }
    if (strncmp(statement, "pause", 5) == 0) {
        pause_command(statement);
        return 1;
    }
    return 0;
}

int classify_argument(const char* text, const Environment& environment)
{
    double value;
    if (is_string_literal(text))
        return VALUE_STRING;
    if (read_number(text, &value))
        return VALUE_NUMBER;
    if (environment.find_variable(text) != nullptr)
        return VALUE_NAME;
    return 0;
}

// Target before the first unquoted "=", function name before the first
// unquoted "(" of the right side, arguments up to the next unquoted ")";
// a right side without "(" names a variable to copy.
void execute_statement(char* statement, Environment& environment,
                       const FunctionLookup& lookup)
{
    if (run_command(statement, environment))
        return;
    const char* target = nullptr;
    char* right = statement;
    if (char* equals = find_unquoted(statement, '=')) {
        *equals = '\0';
        target = statement;
        right = equals + 1;
    }
    char* open = find_unquoted(right, '(');
    if (open == nullptr) {
        copy_variable(right, target, environment);
        return;
    }
    *open = '\0';
    char* close = find_unquoted(open + 1, ')');
    if (close == nullptr)
        fatal_message("ERROR: missing ')'\n");
    *close = '\0';
    call_function(right, open + 1, target, environment, lookup);
}
