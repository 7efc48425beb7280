// Helpers for the interpreter tests: a script reader over a text in memory,
// and a death-test pattern that matches a message literally.
#ifndef SCRIPTRUN_TEST_HELPERS_H
#define SCRIPTRUN_TEST_HELPERS_H

#include <cstring>
#include <string>

#include "scriptrun/script_reader.h"

// Reads from a string as the file reader reads from a stream: -1 on the first
// read past the end, 0 on every later one.
class MemoryReader : public ScriptReader {
public:
    explicit MemoryReader(std::string text) : ScriptReader(nullptr), text_(std::move(text)) {}

    int read_char() override
    {
        if (ended_)
            return 0;
        if (position_ == text_.size()) {
            ended_ = true;
            return -1;
        }
        return static_cast<unsigned char>(text_[position_++]);
    }

private:
    std::string text_;     // the whole script
    size_t position_ = 0;  // next character to read
    bool ended_ = false;   // the end has been reported
};

// A regular expression that matches text literally.
inline std::string literal_pattern(const std::string& text)
{
    std::string pattern;
    for (char c : text) {
        if (strchr("\\^$.|?*+()[]{}", c) != nullptr)
            pattern += '\\';
        pattern += c;
    }
    return pattern;
}

#endif
