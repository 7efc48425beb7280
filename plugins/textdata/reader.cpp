// Text table reader. A data line is a run of fields; blanks and tabs
// separate numbers, and a comma separates two fields that must each hold a
// number ("1,,2", ",1" and "1," are refused). A number is a decimal numeral
// (sign, digits, point, exponent) of at most 1024 characters with a finite
// value, so "nan", "inf", hexadecimal and overflowing numerals are refused.
// A "#" opens a comment only as a line's first character other than blanks
// and tabs; inside a data line it is refused like any other stray text. A
// carriage return before a line feed (or at the end of the file) belongs to
// the line end.
// The text is taken in pieces as it is read, so memory holds the values and
// one token, and the first bad line ends the read.
#include "reader.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

ValueBuffer::~ValueBuffer()
{
    free(data_);
}

bool ValueBuffer::push(double value)
{
    if (size_ == capacity_) {
        size_t capacity = capacity_ < 1024 ? 1024 : capacity_ + capacity_ / 2;
        if (capacity > SIZE_MAX / sizeof(double))
            return false;
        double* grown = static_cast<double*>(realloc(data_, capacity * sizeof(double)));
        if (!grown)
            return false;
        data_ = grown;
        capacity_ = capacity;
    }
    data_[size_++] = value;
    return true;
}

double* ValueBuffer::release()
{
    double* block = data_;
    if (size_ > 0 && size_ < capacity_)
        if (double* shrunk = static_cast<double*>(realloc(block, size_ * sizeof(double))))
            block = shrunk;
    data_ = nullptr;
    size_ = capacity_ = 0;
    return block;
}

namespace {

// Offending texts are quoted in messages up to this many characters.
constexpr size_t QUOTE_LIMIT = 40;

// A token this long is no numeral of any real data file; it is refused
// before more of it is held.
constexpr size_t TOKEN_LIMIT = 1024;

bool is_numeral_char(char c)
{
    return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E';
}

// Reads the whole token as a number; false when it is no number.
bool parse_number(const std::string& token, double* value)
{
    for (char c : token)
        if (!is_numeral_char(c))
            return false;
    char* stop = nullptr;
    *value = strtod(token.c_str(), &stop);
    return stop == token.c_str() + token.size() && std::isfinite(*value);
}

// The text with every byte outside printable ASCII written as \xHH, so that
// a NUL or a control byte neither cuts nor garbles the message.
std::string printable(const std::string& text)
{
    std::string out;
    for (unsigned char c : text) {
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
            continue;
        }
        char escaped[8];
        snprintf(escaped, sizeof escaped, "\\x%02x", c);
        out += escaped;
    }
    return out;
}

// The scanner: bytes go in through feed, in pieces of any size.
class TableParser {
public:
    explicit TableParser(TextTable& table) : table_(table) {}

    // Takes the next piece of text; false with error() set at a bad line.
    // Throws std::bad_alloc when the values no longer fit in memory.
    bool feed(const char* text, size_t length)
    {
        for (size_t i = 0; i < length; ++i) {
            char c = text[i];
            if (pending_cr_) {
                pending_cr_ = false;
                if (c != '\n' && !take('\r'))
                    return false;
            }
            if (c == '\r')
                pending_cr_ = true;
            else if (!take(c))
                return false;
        }
        return true;
    }

    // Ends the last line; false when it is bad or the text held no data.
    bool finish()
    {
        pending_cr_ = false;
        if (!end_line())
            return false;
        if (table_.rows == 0)
            return fail("no data");
        return true;
    }

    const std::string& error() const { return error_; }

private:
    enum class Line { Undecided, Comment, Data };

    TextTable& table_;
    std::string error_;
    std::string token_;                // the number being read, at most TOKEN_LIMIT bytes
    long line_ = 1;                    // number of the line being read
    Line kind_ = Line::Undecided;      // Undecided while only blanks and tabs were seen
    long long count_ = 0;              // numbers on this line so far
    bool field_has_value_ = false;     // the field since the line start or last comma holds a number
    bool pending_cr_ = false;          // a carriage return waits for the next byte

    bool fail(const std::string& message)
    {
        error_ = message;
        return false;
    }

    bool fail_at_line(const std::string& message)
    {
        return fail("line " + std::to_string(line_) + message);
    }

    bool take(char c)
    {
        if (c == '\n')
            return end_line();
        if (kind_ == Line::Comment)
            return true;
        if (c == ' ' || c == '\t')
            return end_token();
        if (c == ',') {
            if (!end_token())
                return false;
            if (!field_has_value_)
                return fail_at_line(": empty field");
            field_has_value_ = false;
            kind_ = Line::Data;
            return true;
        }
        if (kind_ == Line::Undecided && c == '#') {
            kind_ = Line::Comment;
            return true;
        }
        kind_ = Line::Data;
        if (token_.size() >= TOKEN_LIMIT)
            return overlong_token();
        token_ += c;
        return true;
    }

    // The token quoted for a message: its first QUOTE_LIMIT characters, and
    // "..." after the closing quote when it goes on beyond them.
    std::string quoted_token() const
    {
        std::string quote = "'" + printable(token_.substr(0, QUOTE_LIMIT)) + "'";
        return token_.size() > QUOTE_LIMIT ? quote + "..." : quote;
    }

    bool bad_token()
    {
        return fail_at_line(": " + quoted_token() + " is not a number");
    }

    bool overlong_token()
    {
        return fail_at_line(": " + quoted_token() + " is not a number (more than " +
                            std::to_string(TOKEN_LIMIT) + " characters)");
    }

    // Values beyond the width of the earlier rows are only counted, so a
    // long bad line costs no memory.
    bool end_token()
    {
        if (token_.empty())
            return true;
        double value;
        if (!parse_number(token_, &value))
            return bad_token();
        token_.clear();
        field_has_value_ = true;
        ++count_;
        if (table_.rows == 0 && count_ > INT_MAX)
            return fail("too many values");
        if ((table_.rows == 0 || count_ <= table_.cols) && !table_.values.push(value))
            throw std::bad_alloc();
        return true;
    }

    bool end_line()
    {
        if (!end_token())
            return false;
        if (kind_ == Line::Data && !add_row())
            return false;
        kind_ = Line::Undecided;
        count_ = 0;
        field_has_value_ = false;
        ++line_;
        return true;
    }

    // A data line ends: a trailing comma leaves an empty field.
    bool add_row()
    {
        if (!field_has_value_)
            return fail_at_line(": empty field");
        if (table_.rows > 0 && count_ != table_.cols)
            return fail_at_line(" has " + std::to_string(count_) + " values, expected " +
                                std::to_string(table_.cols));
        if (table_.rows == INT_MAX || (table_.rows + 1LL) * count_ > INT_MAX)
            return fail("too many values");
        table_.cols = static_cast<int>(count_);
        ++table_.rows;
        return true;
    }
};

// Closes the descriptor on every way out.
struct FileCloser {
    int fd;
    ~FileCloser() { close(fd); }
};

std::string quoted(const char* path)
{
    return std::string("'") + path + "'";
}

// Opens path for reading when it is a regular file; -1 with `error` set
// (the system's reason) otherwise. Nothing but a regular file is opened, and
// that without waiting, so a FIFO or a device can neither block nor feed
// endless bytes.
int open_regular(const char* path, std::string& error)
{
    struct stat info;
    int reason = 0;  // errno of the failure; 0: not a regular file
    if (stat(path, &info) != 0) {
        reason = errno;
    } else if (S_ISDIR(info.st_mode)) {
        reason = EISDIR;
    } else if (S_ISREG(info.st_mode)) {
        int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            reason = errno;
        else if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode))
            return fd;
        else
            close(fd);  // replaced by something else between the two looks
    }
    error = "cannot open file " + quoted(path) + ": " +
            (reason != 0 ? strerror(reason) : "not a regular file");
    return -1;
}

}  // namespace

bool parse_text_table(const std::string& text, TextTable& table, std::string& error)
{
    TableParser parser(table);
    if (parser.feed(text.data(), text.size()) && parser.finish())
        return true;
    error = parser.error();
    return false;
}

bool read_text_table(const char* path, TextTable& table, std::string& error)
{
    int fd = open_regular(path, error);
    if (fd < 0)
        return false;
    FileCloser closer{fd};
    TableParser parser(table);
    char chunk[1 << 16];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = "cannot read file " + quoted(path) + ": " + strerror(errno);
            return false;
        }
        if (got == 0 ? parser.finish() : parser.feed(chunk, static_cast<size_t>(got))) {
            if (got == 0)
                return true;
            continue;
        }
        error = quoted(path) + ": " + parser.error();
        return false;
    }
}
