// Variable store and the whos table.
#include "scriptrun/variables.h"

#include <cinttypes>
#include <cstdint>

#include "scriptrun/plugin_api.h"

Variable::Variable(const char* name, int type, void* value)
    : value(value), type(static_cast<unsigned char>(type)), name_(name) {}

const char* Variable::name() const
{
    return name_.c_str();
}

Environment::~Environment()
{
    remove_all_variables();
}

Variable* Environment::find_variable(const char* name) const
{
    return variables.find_name(name);
}

// The first variable of that name takes type and value (the old value is
// dropped, not freed); otherwise a new variable goes to the end.
void Environment::store(const char* name, int type, void* value)
{
    Variable* variable = find_variable(name);
    if (variable != nullptr) {
        variable->type = static_cast<unsigned char>(type);
        variable->value = value;
        return;
    }
    variable = new (std::nothrow) Variable(name, type, value);
    if (variable == nullptr)
        fatal_message("ERROR: Not enough memory!\n");
    variables.append(variable);
}

void Environment::set_variable(const char* name, int type, void* value)
{
    store(name, type, value);
}

int Environment::clone_variable(const char* source, const char* target)
{
    Variable* original = find_variable(source);
    if (original == nullptr)
        return 0;
    store(target, original->type, original->value);
    return 1;
}

void Environment::remove_all_variables()
{
    variables.seek(0);
    while (Variable* variable = variables.next())
        delete variable;
    variables.remove_all();
}

void Environment::remove_variable(const char* name)
{
    if (!variables.seek_name(name))
        return;
    Variable* variable = variables.find_name(name);  // the node under the cursor
    variables.remove_current();
    delete variable;
}

namespace {

const char* const kDashLine = "-----------------------------------------------\n";

// Bytes a value takes: text length + 1, 8 per real, a matrix's reals plus 8.
int64_t value_size(const Variable& variable)
{
    switch (variable.type) {
    case VALUE_STRING:
        return variable.value == nullptr
                   ? 0 : static_cast<int64_t>(strlen(static_cast<char*>(variable.value))) + 1;
    case VALUE_NUMBER:
        return 8;
    case VALUE_MATRIX: {
        auto* matrix = static_cast<DataMatrix*>(variable.value);
        return matrix == nullptr ? 0 : int64_t{matrix->rows} * matrix->cols * 8 + 8;
    }
    default:
        return 0;
    }
}

const char* type_text(int type)
{
    static const char* const texts[] = {"  empty ", " string ", " number ", " matrix "};
    return type >= 0 && type <= VALUE_MATRIX ? texts[type] : "";
}

}  // namespace

void Environment::list_variables()
{
    print_message("\n");
    print_message("%s", kDashLine);
    print_message("|   Variable name    |  type |      size      |\n");
    print_message("%s", kDashLine);
    int count = 0;
    int64_t total = 0;
    variables.seek(0);
    while (Variable* variable = variables.next()) {
        int64_t size = value_size(*variable);
        print_message("|%20s %s %15" PRId64 "|\n", variable->name(), type_text(variable->type), size);
        ++count;
        total += size;
    }
    print_message("%s", kDashLine);
    print_message("  Total %d variable(s) with %" PRId64 " byte(s)\n", count, total);
}
