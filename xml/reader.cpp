// Reads a model file into a document tree.
//
// Grammar, applied to the whole file held in memory:
//   file     := { text | markup } element            (anything after it is ignored)
//   markup   := "<" ("?" | "!") up-to-">" ">"        (kept as a text node, unchanged)
//   element  := "<" word rest ">" [ content ]        (word ends at blank, tab, CR, LF or ">";
//                                                      a final "/" of word or rest: no content)
//   content  := { text | markup | element } "<" "/" up-to-">" ">"
//   text     := every character but "<"
// Any end tag closes the innermost open element. Attributes in rest are
// name, blanks or "=", one opening mark, value up to the next double quote.
// Texts and values are decoded: the five predefined entities and numeric
// character references ("&#13;", "&#x1F;"; a reference to no character stays
// as written). The end of the file before the document element is complete,
// a NUL byte, an element without a name, or nesting deeper than kMaxDepth
// fail the parse. Only regular files are read.
// The bellmix variant drops the text before the first tag, takes that tag as
// the document element and reads "?" and "!" tags as elements.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <utility>

#include "filesave/filesave.h"
#include "xml/document.h"
#include "xml/variant.h"

namespace {

// Attributes of one tag checked one by one for an earlier one of the same
// name before an index by name takes over.
constexpr size_t kAttributesBeforeIndex = 16;

// Reads a regular file whole; false with why set to the reason when it
// cannot. Anything else is refused before it is read (and opened without
// waiting), so a FIFO cannot block the caller and a device cannot feed it
// bytes without end. A shared lock, taken within a bounded wait, keeps out
// a save that writes the file in place, so no half-written file is read.
bool read_file(const char* fileName, std::string& out, std::string* why)
{
    int fd = open_regular_file(fileName, why);
    if (fd < 0) {
        if (why->empty())
            *why = strerror(errno);
        return false;
    }
    struct stat info;
    bool ok = fstat(fd, &info) == 0;
    if (ok)
        out.reserve(static_cast<size_t>(info.st_size));
    char chunk[65536];
    while (ok) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        out.append(chunk, static_cast<size_t>(got));
    }
    if (!ok)
        *why = strerror(errno);
    close(fd);
    return ok;
}

// Drops carriage returns that stand before a line feed (a whole run of them,
// so that a second read finds nothing left to drop).
void drop_carriage_returns(std::string& text)
{
    size_t out = 0;
    for (size_t i = 0; i < text.size();) {
        if (text[i] != '\r') {
            text[out++] = text[i++];
            continue;
        }
        size_t run_end = text.find_first_not_of('\r', i);
        bool before_line_feed = run_end != std::string::npos && text[run_end] == '\n';
        if (!before_line_feed) {
            size_t stop = run_end == std::string::npos ? text.size() : run_end;
            for (; i < stop; ++i)
                text[out++] = '\r';
        }
        i = run_end == std::string::npos ? text.size() : run_end;
    }
    text.resize(out);
}

void append_utf8(std::string& out, unsigned long code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (code >> 18));
        out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// A numeric character reference "&#digits;" or "&#xhex;" at raw[at]: its
// length, with the character appended to out; 0 (nothing appended) when
// there is none or it names no character (NUL, a surrogate, beyond U+10FFFF).
size_t decode_reference(std::string_view raw, size_t at, std::string& out)
{
    size_t i = at + 2;
    bool hex = i < raw.size() && raw[i] == 'x';
    i += hex ? 1 : 0;
    size_t digits_start = i;
    unsigned long code = 0;
    for (; i < raw.size() && i - digits_start < 8; ++i) {
        char c = raw[i];
        int digit = c >= '0' && c <= '9' ? c - '0'
                    : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
        if (digit < 0)
            break;
        code = code * (hex ? 16 : 10) + static_cast<unsigned long>(digit);
    }
    if (i == digits_start || i >= raw.size() || raw[i] != ';')
        return 0;
    if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    append_utf8(out, code);
    return i + 1 - at;
}

// Replaces &amp; &lt; &gt; &quot; &apos; and numeric character references;
// any other "&" stays as written.
std::string decode(std::string_view raw)
{
    static const struct {
        const char* entity;
        char character;
    } entities[] = {{"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''}};
    std::string out;
    out.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        char c = raw[i];
        if (c == '&' && raw.compare(i, 2, "&#") == 0) {
            size_t length = decode_reference(raw, i, out);
            if (length > 0) {
                i += length - 1;
                continue;
            }
        } else if (c == '&') {
            for (const auto& e : entities) {
                size_t length = strlen(e.entity);
                if (raw.compare(i, length, e.entity) == 0) {
                    c = e.character;
                    i += length - 1;
                    break;
                }
            }
        }
        out += c;
    }
    return out;
}

void append_decoded_text(XMLNode* parent, std::string_view raw)
{
    if (raw.empty())
        return;
    std::string text = raw.find('&') == std::string_view::npos ? std::string(raw) : decode(raw);
    parent->appendChild(new_text(text.data(), text.size()));
}

// The attributes of one start tag. A name that occurs twice keeps the last
// value in the first place; beyond a few attributes the earlier ones are
// found through an index, so that a tag of many attributes reads in linear
// time.
class TagAttributes {
public:
    explicit TagAttributes(XMLNode* element) : element_(element) {}

    void add(std::string_view name, std::string_view raw)
    {
        std::string value = decode(raw);
        if (XMLNode* existing = find(name)) {
            existing->setValue(value.c_str());
            return;
        }
        XMLNode* attribute = new_attribute(std::string(name).c_str(), value.c_str());
        append_new_attribute(element_, attribute);
        ++count_;
        if (count_ > kAttributesBeforeIndex)
            index_.emplace(attribute->name, attribute);
    }

private:
    XMLNode* element_;                                      // the tag's element
    size_t count_ = 0;                                      // attributes linked so far
    std::unordered_map<std::string_view, XMLNode*> index_;  // by name, once count_ is large

    XMLNode* find(std::string_view name)
    {
        if (count_ < kAttributesBeforeIndex) {
            for (XMLNode* a = element_->firstAttribute; a; a = a->nextAttribute, ++xml_scan_steps)
                if (name == a->name)
                    return a;
            return nullptr;
        }
        if (index_.empty())
            for (XMLNode* a = element_->firstAttribute; a; a = a->nextAttribute, ++xml_scan_steps)
                index_.emplace(a->name, a);
        auto found = index_.find(name);
        return found == index_.end() ? nullptr : found->second;
    }
};

bool is_space(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// Attributes of one start tag, from the text between its word and its ">".
void parse_attributes(XMLNode* element, std::string_view rest)
{
    TagAttributes attributes(element);
    size_t i = 0, n = rest.size();
    for (;;) {
        while (i < n && is_space(rest[i]))
            ++i;
        if (i == n)
            return;
        size_t name_start = i;
        while (i < n && rest[i] != '=' && !is_space(rest[i]))
            ++i;
        std::string_view name = rest.substr(name_start, i - name_start);
        if (i < n)
            ++i;  // the character that ended the name
        while (i < n && (is_space(rest[i]) || rest[i] == '='))
            ++i;
        if (i < n)
            ++i;  // the opening mark, whatever it is
        size_t value_start = i;
        while (i < n && rest[i] != '"')
            ++i;
        attributes.add(name, rest.substr(value_start, i - value_start));
        if (i == n)
            return;
        ++i;  // the closing double quote
    }
}

class Reader {
public:
    explicit Reader(std::string_view input) : in(input), pos(0) {}

    bool parse_top_level(XMLNode* root)
    {
        for (;;) {
            std::string_view text = read_until("<");
            if (at_end())
                return false;
            if (!kBellmixVariant)
                append_decoded_text(root, text);
            ++pos;
            std::string_view word = read_until(" \n\t\r>");
            if (!kBellmixVariant && is_markup(word)) {
                if (!read_markup(root, word))
                    return false;
                continue;
            }
            return parse_element(root, word, 1);
        }
    }

private:
    std::string_view in;  // the whole file
    size_t pos;           // next character to read

    bool at_end() const { return pos >= in.size(); }

    // The longest run of characters not in stops, starting at pos.
    std::string_view read_until(const char* stops)
    {
        size_t start = pos;
        pos = in.find_first_of(stops, pos);
        if (pos == std::string_view::npos)
            pos = in.size();
        return in.substr(start, pos - start);
    }

    static bool is_markup(std::string_view word)
    {
        return !word.empty() && (word[0] == '?' || word[0] == '!');
    }

    // A declaration or comment whose word has been read: kept whole as a text.
    bool read_markup(XMLNode* parent, std::string_view word)
    {
        size_t start = pos - word.size() - 1;
        read_until(">");
        if (at_end())
            return false;
        ++pos;
        XMLNode* node = new_text(in.data() + start, pos - start);
        node->markup = true;
        parent->appendChild(node);
        return true;
    }

    bool parse_element(XMLNode* parent, std::string_view word, int depth)
    {
        if (depth > kMaxDepth)
            return false;
        bool empty = false;
        while (!word.empty() && word.back() == '/') {
            word.remove_suffix(1);
            empty = true;
        }
        if (word.empty())
            return false;
        XMLNode* element = parent->appendChild(new_element(std::string(word).c_str()));
        std::string_view rest = read_until(">");
        if (at_end())
            return false;
        ++pos;
        if (!rest.empty() && rest.back() == '/') {
            rest.remove_suffix(1);
            empty = true;
        }
        parse_attributes(element, rest);
        return empty || parse_children(element, depth);
    }

    bool parse_children(XMLNode* element, int depth)
    {
        for (;;) {
            append_decoded_text(element, read_until("<"));
            if (at_end())
                return false;
            ++pos;
            std::string_view word = read_until(" \n\t\r>");
            if (!kBellmixVariant && is_markup(word)) {
                if (!read_markup(element, word))
                    return false;
            } else if (!word.empty() && word[0] == '/') {
                read_until(">");
                if (at_end())
                    return false;
                ++pos;
                return true;
            } else if (!parse_element(element, word, depth + 1)) {
                return false;
            }
        }
    }
};

}  // namespace

int XMLDocument::parse(const char* fileName, std::string* why)
{
    std::string input, reason;
    if (!root || !fileName || !read_file(fileName, input, &reason)) {
        if (why)
            *why = reason;
        return 0;
    }
    return parseText(std::move(input));
}

int XMLDocument::parseText(std::string input)
{
    if (!root || memchr(input.data(), '\0', input.size()))
        return 0;
    drop_carriage_returns(input);
    if (Reader(input).parse_top_level(root))
        return 1;
    while (root->firstChild)
        root->firstChild->destroy();
    return 0;
}
