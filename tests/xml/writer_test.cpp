// The writer: byte-exact model files built through the exported functions,
// escaping, and files that read back into the same tree.
#include <gtest/gtest.h>

#include "tests/xml/xml_test_util.h"

namespace {

// A model in the shape every plug-in writes: history items with text,
// parameters with a "value" attribute.
void build_model(XMLParser** h)
{
    XMLcreateNewDoc(h, "WARPFOLD");
    XMLchangeElement(h, "/WARPFOLD");
    XMLaddChildElement(h, "history");
    XMLaddChildElement(h, "initial_settings");
    XMLaddChildElement(h, "parameters");
    XMLchangeElement(h, "/WARPFOLD/history");
    XMLaddChildElement(h, "item");
    XMLchangeElementWithNumber(h, "item", 1);
    XMLchangeOrAddText(h, "creation time: ");
    XMLappendText(h, "Mon Jan  1 00:00:00 2024");
    XMLchangeElement(h, "/WARPFOLD/parameters");
    XMLaddChildElement(h, "kernel_param0");
    XMLchangeElement(h, "kernel_param0");
    XMLchangeOrAddIntAttribute(h, "value", 1);
}

}  // namespace

TEST(Writer, ModelFileLayoutIsByteExact)
{
    Handle h;
    build_model(&h);
    std::string file = scratch("model.xml");
    ASSERT_EQ(XMLsave(&h, file.c_str()), 1);
    EXPECT_EQ(read_text(file),
              "<WARPFOLD>\n"
              "\t<history>\n"
              "\t\t<item>creation time: Mon Jan  1 00:00:00 2024</item>\n"
              "\t</history>\n"
              "\t<initial_settings/>\n"
              "\t<parameters>\n"
              "\t\t<kernel_param0\n"
              "\t\t   value=\"1\"/>\n"
              "\t</parameters>\n"
              "</WARPFOLD>");
}

TEST(Writer, AttributesEachOnALineOrSeparatedByBlanks)
{
    XMLDocument document("R");
    XMLNode* r = document.root->firstChild;
    r->appendChild(new_attribute("a", "1"));
    r->appendChild(new_attribute("b", "2"));
    std::string pretty, plain;
    document.toText(pretty, true);
    document.toText(plain, false);
    EXPECT_EQ(pretty, "<R\n   a=\"1\"\n   b=\"2\"/>");
    EXPECT_EQ(plain, "<R a=\"1\" b=\"2\"/>");

    std::string stray;
    testing::internal::CaptureStderr();
    XMLDocument::writeNode(stray, r->firstAttribute, true, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unrecognized node type = 0\n");
    EXPECT_EQ(stray, "");
}

TEST(Writer, SpecialCharactersAreEscapedAndRoundTrip)
{
    const char* value = "a<b>&c\"d";
    Handle h;
    XMLcreateNewDoc(&h, "R");
    XMLchangeElement(&h, "/R");
    XMLchangeOrAddAttribute(&h, "v", value);
    XMLchangeOrAddText(&h, "x<y>&z\"");
    std::string first = scratch("escaped.xml"), second = scratch("escaped2.xml");
    ASSERT_EQ(XMLsave(&h, first.c_str()), 1);
    EXPECT_EQ(read_text(first), "<R\n   v=\"a&lt;b&gt;&amp;c&quot;d\">x&lt;y>&amp;z\"</R>");

    Handle back;
    ASSERT_EQ(XMLopen(&back, first.c_str()), 1);
    ASSERT_EQ(XMLchangeElement(&back, "/R"), 1);
    char buffer[64];
    EXPECT_STREQ(XMLgetAttrValue(&back, "v", buffer), value);
    EXPECT_STREQ(XMLgetText(&back, buffer), "x<y>&z\"");
    ASSERT_EQ(XMLsave(&back, second.c_str()), 1);
    EXPECT_EQ(read_text(second), read_text(first));
}

TEST(Writer, ReadFileIsWrittenBackUnchanged)
{
    std::string in = scratch("declared.xml"), out = scratch("declared_out.xml");
    const std::string body = "<?xml version=\"1.0\"?>\n<!-- model -->\n<M>\n\t<a\n\t   x=\"1\"/>\n</M>";
    write_text(in, body + "\ntrailing text");
    Handle h;
    ASSERT_EQ(XMLopen(&h, in.c_str()), 1);
    ASSERT_EQ(XMLsave(&h, out.c_str()), 1);
    EXPECT_EQ(read_text(out), body);
    ASSERT_EQ(_XMLsave(&h), 1);
    EXPECT_EQ(read_text(in), body);
}

TEST(Writer, UnwritableFileReportsFailure)
{
    Handle h;
    XMLcreateNewDoc(&h, "R");
    testing::internal::CaptureStderr();
    EXPECT_EQ(XMLsave(&h, scratch("no/such/folder/f.xml").c_str()), 0);
    EXPECT_EQ(XMLsave(&h, "/dev/full"), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't write the xml file\nCan't write the xml file\n");
}
