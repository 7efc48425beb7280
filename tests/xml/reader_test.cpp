// The reader: what each piece of syntax becomes in the tree, and the
// malformed files that must fail cleanly.
#include <gtest/gtest.h>

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
         "__ROOT(A[v=<&\">'&foo;]('x & y &#65;'))"},
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
        "<A><!-- open", "< a/>", "<>", std::string("<A>\0</A>", 8), nested(4097),
    };
    for (const auto& input : cases)
        EXPECT_EQ(parse_dump(input), "FAIL") << input.substr(0, 40);
    EXPECT_NE(parse_dump(nested(4096)), "FAIL");
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
    const std::string files[] = {bad, scratch("missing.xml"), scratch("")};
    for (const auto& file : files) {
        Handle h;
        testing::internal::CaptureStderr();
        EXPECT_EQ(XMLopen(&h, file.c_str()), 0);
        EXPECT_NE(h.parser, nullptr);
        EXPECT_EQ(XMLchangeElement(&h, "/A"), 0);
        EXPECT_EQ(XMLgetActualElementName(&h), nullptr);
        EXPECT_EQ(XMLsave(&h, kept.c_str()), 0);
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Can't parse the xml document.\nCan't write the xml file\n");
    }
    EXPECT_EQ(read_text(kept), "precious");
}
