// Script reader: characters from the script file, cut into statements.
#include "scriptrun/script_reader.h"

#include <cstring>
#include <new>
#include <sys/stat.h>

#include "scriptrun/messages.h"

ScriptReader::ScriptReader(FILE* file) : file_(file) {}

int ScriptReader::read_char()
{
    if (file_ == nullptr || feof(file_))
        return 0;
    int c = getc(file_);
    return c == EOF ? -1 : c;
}

int ScriptReader::read_line(char* buffer, int size)
{
    if (file_ == nullptr || feof(file_) || size <= 0)
        return 0;
    if (fgets(buffer, size, file_) == nullptr) {
        buffer[0] = '\0';
        return 0;
    }
    return static_cast<int>(strlen(buffer));
}

Interpreter::Interpreter(ScriptReader* reader, bool owns_reader)
    : owns_reader_(owns_reader), reader_(reader) {}

Interpreter::~Interpreter()
{
    if (owns_reader_)
        delete reader_;
}

namespace {

// Opens a script for reading; a directory counts as unreadable.
FILE* open_script_file(const char* path)
{
    FILE* file = fopen(path, "r");
    struct stat info;
    if (file != nullptr && (fstat(fileno(file), &info) != 0 || S_ISDIR(info.st_mode))) {
        fclose(file);
        file = nullptr;
    }
    return file;
}

// What read_statement knows about the statement being collected.
struct StatementScan {
    char* text;       // collected statement
    int length;       // characters collected so far
    int limit;        // most characters a statement may hold (size - 1)
    bool in_string;   // inside a string constant
    bool in_block;    // inside a /* */ comment
    bool in_line;     // inside a % or # comment, up to the line end
    int block_start;  // position of the "/" that opened the block comment
    int block_last;   // previous character read inside the block comment
};

bool is_quote(int c)
{
    return c == '\'' || c == '"';
}

void append(StatementScan& scan, int c)
{
    scan.text[scan.length++] = static_cast<char>(c);
}

// The comment's text is not stored. "*/" is looked for from the opening star
// on, so "/*/" is a whole comment; on close the "/*" is taken back out.
void scan_block_comment(StatementScan& scan, int c)
{
    if (c == '/' && scan.block_last == '*') {
        scan.length = scan.block_start;
        scan.in_block = false;
    }
    scan.block_last = c;
}

// Everything is kept inside a string constant but the CR of a CR LF; either
// quote closes it.
void scan_string(StatementScan& scan, int c)
{
    if (c == '\n' && scan.text[scan.length - 1] == '\r')
        --scan.length;
    append(scan, c);
    if (is_quote(c))
        scan.in_string = false;
}

// Outside strings and comments blanks vanish, "%" and "#" open a line
// comment, a quote opens a string and a collected "/*" opens a block comment.
void scan_plain(StatementScan& scan, int c)
{
    if (c == '%' || c == '#') {
        scan.in_line = true;
        return;
    }
    if (c == '\r' || c == '\n' || c == '\t' || c == ' ')
        return;
    append(scan, c);
    if (is_quote(c)) {
        scan.in_string = true;
    } else if (c == '*' && scan.length >= 2 && scan.text[scan.length - 2] == '/') {
        scan.in_block = true;
        scan.block_start = scan.length - 2;
        scan.block_last = '*';
    }
}

bool outside_everything(const StatementScan& scan)
{
    return !scan.in_string && !scan.in_block && !scan.in_line;
}

}  // namespace

int Interpreter::read_statement(char* buffer, int size)
{
    if (size <= 0)
        return 0;
    StatementScan scan{buffer, 0, size - 1, false, false, false, 0, 0};
    while (reader_ != nullptr && scan.length < scan.limit) {
        int c = reader_->read_char();
        if (c == -1)
            break;
        if (outside_everything(scan) && (c == ';' || c == '\0'))
            break;
        if (scan.in_line) {
            if (c == '\n')
                scan.in_line = false;
        } else if (scan.in_block) {
            scan_block_comment(scan, c);
        } else if (scan.in_string) {
            scan_string(scan, c);
        } else {
            scan_plain(scan, c);
        }
    }
    buffer[scan.length] = '\0';
    // What stands beyond the limit is read as the next statement; say so,
    // since that statement, or this one cut short, then fails on its own terms.
    if (scan.limit > 0 && scan.length == scan.limit)
        print_message("ERROR: statement too long: a statement holds at most %d characters; "
                      "what follows is read as the next statement\n", scan.limit);
    if (scan.in_string)
        fatal_message("ERROR: not terminated string constant");
    if (scan.in_block)
        fatal_message("ERROR: not terminated comment");
    return scan.length;
}

Interpreter* open_script(const char* path)
{
    FILE* file = open_script_file(path);
    if (file == nullptr)
        print_message("File: not found '%s'", path);
    ScriptReader* reader = new (std::nothrow) ScriptReader(file);
    return new Interpreter(reader, reader != nullptr);
}
