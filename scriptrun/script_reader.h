// Script reader: turns a script file into statements, one compact text per
// ";" outside string constants and comments.
#ifndef SCRIPT_READER_H
#define SCRIPT_READER_H

#include <cstdio>

// Character source of one script file.
class ScriptReader {
public:
    explicit ScriptReader(FILE* file);
    virtual ~ScriptReader() = default;

    // The next character as an unsigned value, -1 on the first read past the
    // end, 0 once the end has been seen or when there is no file.
    virtual int read_char();

    // One line with its line end, at most size-1 characters; 0 without a file
    // or after the end.
    virtual int read_line(char* buffer, int size);

    bool has_file() const { return file_ != nullptr; }

private:
    FILE* file_;  // open script stream, or null when opening failed
};

// The program's top object: the script reader and whether it owns it.
class Interpreter {
public:
    Interpreter(ScriptReader* reader, bool owns_reader);
    ~Interpreter();
    Interpreter(const Interpreter&) = delete;
    Interpreter& operator=(const Interpreter&) = delete;

    // Reads the next statement into buffer (NUL-terminated) and returns its
    // length; 0 at the end of the script and for an empty statement.
    int read_statement(char* buffer, int size);

    ScriptReader* reader() const { return reader_; }

private:
    bool owns_reader_;     // set when open_script created the reader
    ScriptReader* reader_; // null when the reader could not be made
};

// Creates the interpreter for a script path. An unreadable file is reported
// with "File: not found '%s'" and gives a reader without a file.
Interpreter* open_script(const char* path);

#endif
