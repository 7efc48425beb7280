// The reader: what each piece of syntax becomes in the tree, and the
// malformed files that must fail cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "tests/xml/xml_test_util.h"

TEST(Reader, BuildsTheTreeOfEachConstruct)
{
    const struct {
        const char* input;
        const char* tree;
    } cases[] = {
        {"<A>\n</A>", "__ROOT(A('\n'))"},
        {"<x a=\"1\" b = \"2\"/>", "__ROOT(x[a=1,b=2])"},
        {"<x a\n=\n\"1\"/>", "__ROOT(x[a=1])"},
        {"<x/>", "__ROOT(x)"},
        {"<x a=\"1\" a=\"2\" b=\"3\"/>", "__ROOT(x[a=2,b=3])"},
        {"<?xml version=\"1.0\"?>\n<A/>", "__ROOT(<?xml version=\"1.0\"?> '\n' A)"},
        {"<A><!-- note --><b/></A>", "__ROOT(A(<!-- note --> b))"},
        {"<A>1 > 0</A>", "__ROOT(A('1 > 0'))"},
        {"<A><b></c>x</A>", "__ROOT(A(b 'x'))"},
        {"<A/>tail<B/>", "__ROOT(A)"},
        {"<A v=\"&lt;&amp;&quot;&gt;&apos;&foo;\">x &amp; y &#65;</A>",
         "__ROOT(A[v=<&\">'&foo;]('x & y A'))"},
        {"<A>\r\n\t<b/>\r\r\n a\rb</A>", "__ROOT(A('\n\t' b '\n a\rb'))"},
        {"<A b='1' c=\"2\"/>", "__ROOT(A[b=1' c=,2\"=])"},
        {"<A flag/>", "__ROOT(A[flag=])"},
        {"<a//>", "__ROOT(a)"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_dump(c.input), c.tree) << c.input;
}

TEST(Reader, MalformedFilesFailWithoutATree)
{
    auto nested = [](int depth) {
        std::string text;
        for (int i = 0; i < depth; ++i)
            text += "<e>";
        for (int i = 0; i < depth; ++i)
            text += "</e>";
        return text;
    };
    const std::string cases[] = {
        "", " \n\t ", "<A", "<A>", "<A b=\"1", "<A>text", "<A><b></A>", "text only",
        "<A><!-- open", "< a/>", "<>", std::string("<A>\0</A>", 8), nested(257),
    };
    for (const auto& input : cases)
        EXPECT_EQ(parse_dump(input), "FAIL") << input.substr(0, 40);
    EXPECT_NE(parse_dump(nested(256)), "FAIL");
}

TEST(Reader, HugeValuesReadWhole)
{
    std::string value(8 << 20, '7');
    XMLDocument document;
    ASSERT_TRUE(document.parseText("<A v=\"" + value + "\">" + value + "</A>"));
    const XMLNode* a = document.root->firstChild;
    EXPECT_EQ(std::string(a->firstAttribute->value).size(), value.size());
    EXPECT_EQ(std::string(a->firstChild->value).size(), value.size());
}

TEST(Reader, FailedOpenKeepsNoTreeAndSavesNothing)
{
    std::string bad = scratch("broken.xml"), kept = scratch("kept.xml");
    write_text(bad, "<A><b>");
    write_text(kept, "precious");
    // A file that could not be read is named with the reason; a file read
    // but incomplete is not.
    const struct {
        std::string file;
        std::string reason;  // "" when no line names the file
    } cases[] = {
        {bad, ""},
        {scratch("missing.xml"), "No such file or directory"},
        {scratch(""), "Is a directory"},
        {kept + "/model.xml", "Not a directory"},
    };
    for (const auto& c : cases) {
        Handle h;
        testing::internal::CaptureStderr();
        EXPECT_EQ(XMLopen(&h, c.file.c_str()), 0);
        EXPECT_NE(h.parser, nullptr);
        EXPECT_EQ(XMLchangeElement(&h, "/A"), 0);
        EXPECT_EQ(XMLgetActualElementName(&h), nullptr);
        EXPECT_EQ(XMLsave(&h, kept.c_str()), 0);
        std::string named = c.reason.empty() ? "" : c.file + ": " + c.reason + "\n";
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Can't parse the xml document.\n" + named + "Can't write the xml file\n" +
                      kept + ": no document is open\n");
    }
    EXPECT_EQ(read_text(kept), "precious");
}

// Numeric character references are decoded, in decimal and hexadecimal, to
// UTF-8; one that names no character (NUL, a surrogate, beyond U+10FFFF) or
// lacks its ";" stays as written.
TEST(Reader, NumericCharacterReferencesAreDecoded)
{
    const struct {
        const char* raw;
        const char* decoded;
    } cases[] = {
        {"a&#13;b", "a\rb"},
        {"&#x0D;&#x0a;&#9;", "\r\n\t"},
        {"&#65;&#x42;&#X43;", "AB&#X43;"},
        {"&#233;&#x20AC;&#x1F600;", "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80"},
        {"&#0;&#x0;&#xD800;&#x110000;", "&#0;&#x0;&#xD800;&#x110000;"},
        {"&#;&#x;&#12&#1a;", "&#;&#x;&#12&#1a;"},
        {"&#000000065;&#99999999999;", "&#000000065;&#99999999999;"},
        {"&amp;#13;", "&#13;"},
    };
    for (const auto& c : cases) {
        XMLDocument document;
        std::string file = std::string("<A v=\"") + c.raw + "\">" + c.raw + "</A>";
        ASSERT_TRUE(document.parseText(file)) << c.raw;
        const XMLNode* a = document.root->firstChild;
        EXPECT_STREQ(a->firstAttribute->value, c.decoded) << c.raw;
        EXPECT_STREQ(a->firstChild->value, c.decoded) << c.raw;
    }
}

// Duplicate names in one tag keep the last value in the first place, also
// beyond the attributes checked one by one; a tag of 100000 attributes reads
// in well under a second (the check against every earlier one took 20 s).
TEST(Reader, ManyAttributesInOneTagReadInLinearTime)
{
    std::string tag = "<A";
    for (int i = 0; i < 40; ++i)
        tag += " a" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    tag += " a3=\"x\" a30=\"y\" a39=\"z\" a0=\"w\"/>";
    XMLDocument small;
    ASSERT_TRUE(small.parseText(tag));
    const XMLNode* a = small.root->firstChild;
    std::vector<std::string> seen;
    for (const XMLNode* at = a->firstAttribute; at; at = at->nextAttribute)
        seen.push_back(std::string(at->name) + "=" + at->value);
    ASSERT_EQ(seen.size(), 40u);
    EXPECT_EQ(seen[0], "a0=w");
    EXPECT_EQ(seen[3], "a3=x");
    EXPECT_EQ(seen[30], "a30=y");
    EXPECT_EQ(seen[39], "a39=z");
    EXPECT_EQ(seen[20], "a20=20");

    // A scan per attribute for duplicates made this quadratic: ten times the
    // attributes must take about ten times the look-ups, not a hundred.
    auto open_steps = [](int count) {
        std::string huge = "<A";
        for (int i = 0; i < count; ++i)
            huge += " n" + std::to_string(i) + "=\"1\"";
        huge += " n5=\"2\"/>";
        unsigned long long before = xml_scan_steps;
        XMLDocument document;
        EXPECT_TRUE(document.parseText(huge));
        unsigned long long steps = xml_scan_steps - before;
        EXPECT_STREQ(document.root->firstChild->findAttribute("n5")->value, "2");
        return steps;
    };
    unsigned long long fewer = open_steps(2000);
    unsigned long long more = open_steps(20000);
    EXPECT_LE(more, 10 * fewer + 100) << fewer << " steps for 2*10^3 attributes, " << more << " for 2*10^4";
}

// Only regular files are opened: a FIFO without a writer would block the
// caller, a device such as /dev/zero would feed it bytes until memory ran out.
TEST(Reader, OpensOnlyRegularFilesAndNeverBlocks)
{
    std::string fifo = scratch("model.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::string paths[] = {fifo, "/dev/zero", "/dev/null"};
    for (const auto& path : paths) {
        int result = bounded_child([&] {
            Handle h;
            testing::internal::CaptureStderr();
            int opened = XMLopen(&h, path.c_str());
            bool message = testing::internal::GetCapturedStderr() ==
                           "Can't parse the xml document.\n" + path + ": not a regular file\n";
            return opened == 0 && message ? 7 : 1;
        });
        EXPECT_EQ(result, 7) << path;
    }
}
