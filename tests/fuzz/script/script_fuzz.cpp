// Feeds arbitrary bytes through the script reader and statement execution.
// The lookup binds every name to a stub that frees the literals it is given
// (the interpreter never frees them, by design) and returns values from a
// fixed pool, so no input grows the heap; fatal stops arrive as FatalStop.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "scriptrun/statement.h"
#include "tests/fuzz/script/fuzz_messages.h"
#include "tests/scriptrun/test_helpers.h"

namespace {

double pool_number = 2;
char pool_text[] = "text";
double pool_cells[6] = {1, 2, 3, 4, 5, 6};
DataMatrix pool_matrix = {2, 3, pool_cells};
Environment* current = nullptr;

bool is_pool_value(void* value)
{
    return value == &pool_number || value == pool_text || value == &pool_matrix;
}

bool is_variable_value(void* value)
{
    current->variables.seek(0);
    while (Variable* variable = current->variables.next())
        if (variable->value == value)
            return true;
    return false;
}

// Returns a pool value chosen by the argument count.
void* stub_function(void** values, int* types, int count, int* result_type)
{
    for (int i = 0; i < count; ++i)
        if (types[i] == VALUE_STRING || types[i] == VALUE_NUMBER)
            if (!is_pool_value(values[i]) && !is_variable_value(values[i]))
                free(values[i]);
    switch (count % 4) {
    case 1:
        *result_type = VALUE_NUMBER;
        return &pool_number;
    case 2:
        *result_type = VALUE_STRING;
        return pool_text;
    case 3:
        *result_type = VALUE_MATRIX;
        return &pool_matrix;
    default:
        return nullptr;
    }
}

// Names that start with "x" are unbound, to reach the missing-function stop.
ScriptFunction stub_lookup(const char* name)
{
    return name[0] == 'x' ? nullptr : stub_function;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // pause waits for a character: give it an input that has ended.
    if (freopen("/dev/null", "r", stdin) == nullptr)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MemoryReader reader(std::string(reinterpret_cast<const char*>(data), size));
    Interpreter interpreter(&reader, false);
    Environment environment;
    current = &environment;
    static char statement[16384];
    try {
        while (interpreter.read_statement(statement, sizeof statement) > 0)
            execute_statement(statement, environment, stub_lookup);
    } catch (const FatalStop&) {
    }
    return 0;
}
