// scriptrun: runs one script file against the plug-in libraries of a
// directory. Usage: scriptrun script-file [plug-in-directory (default libs)]
#include <csignal>
#include <memory>

#include "scriptrun/messages.h"
#include "scriptrun/plugin_host.h"
#include "scriptrun/script_reader.h"
#include "scriptrun/statement.h"

namespace {

const int kStatementSize = 16384;

// Loads the plug-ins, then reads and executes statements until the reader
// gives an empty one.
void run_script(Interpreter& interpreter, const char* directory)
{
    if (interpreter.reader() == nullptr)
        fatal_message("ERROR: no input is defined\n");
    std::unique_ptr<Environment> environment(new (std::nothrow) Environment);
    if (environment == nullptr)
        fatal_message("ERROR: Not enough memory!\n");
    load_plugins(*environment, directory);
    FunctionLookup lookup = [&](const char* name) { return find_function(*environment, name); };
    static char statement[kStatementSize];
    while (interpreter.read_statement(statement, kStatementSize) > 0)
        execute_statement(statement, *environment, lookup);
}

// The run with the plug-ins of "libs" in the working folder.
void run_script_default(Interpreter& interpreter)
{
    run_script(interpreter, "libs");
}

}  // namespace

int main(int argc, char** argv)
{
    // At a file-size limit a write then fails with EFBIG, which a save
    // reports and cleans up after, instead of the signal ending the run.
    signal(SIGXFSZ, SIG_IGN);
    if (argc < 2)
        fatal_message("ERROR: script file name is missing!\n");
    std::unique_ptr<Interpreter> interpreter(open_script(argv[1]));
    if (argc > 2)
        run_script(*interpreter, argv[2]);
    else
        run_script_default(*interpreter);
    // An unreadable script ends the run as a failure once the plug-ins are loaded.
    ScriptReader* reader = interpreter->reader();
    return reader != nullptr && reader->has_file() ? 0 : 1;
}
