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
// Texts and values are decoded (the five predefined entities only). The end
// of the file before the document element is complete, a NUL byte, an element
// without a name, or nesting deeper than kMaxDepth fail the parse.
// The bellmix variant drops the text before the first tag, takes that tag as
// the document element and reads "?" and "!" tags as elements.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "xml/document.h"
#include "xml/variant.h"

namespace {

constexpr int kMaxDepth = 4096;

bool read_file(const char* fileName, std::string& out)
{
    FILE* file = fopen(fileName, "rb");
    if (!file)
        return false;
    char chunk[65536];
    size_t got;
    while ((got = fread(chunk, 1, sizeof chunk, file)) > 0)
        out.append(chunk, got);
    bool ok = !ferror(file);
    fclose(file);
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

// Replaces &amp; &lt; &gt; &quot; &apos;; any other "&" stays as written.
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
        if (c == '&') {
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

void append_attribute(XMLNode* element, std::string_view name, std::string_view raw)
{
    std::string value = decode(raw);
    element->appendChild(new_attribute(std::string(name).c_str(), value.c_str()));
}

bool is_space(char c)
{
    return c == ' ' || c == '\n' || c == '\t' || c == '\r';
}

// Attributes of one start tag, from the text between its word and its ">".
void parse_attributes(XMLNode* element, std::string_view rest)
{
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
        append_attribute(element, name, rest.substr(value_start, i - value_start));
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

int XMLDocument::parse(const char* fileName)
{
    std::string input;
    if (!root || !fileName || !read_file(fileName, input))
        return 0;
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
