// Edits under the cursor: indentation, attribute formats, number lists,
// texts and removals.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "tests/xml/xml_test_util.h"

namespace {

// The tree below "__ROOT" of the parser's document, as saved without pretty layout.
std::string saved(Handle& h)
{
    std::string file = scratch("editing.xml");
    EXPECT_EQ(XMLsave(&h, file.c_str()), 1);
    return read_text(file);
}

void new_doc(Handle& h)
{
    XMLcreateNewDoc(&h, "W");
    XMLchangeElement(&h, "/W");
}

}  // namespace

TEST(Editing, ElementsBringTheirIndentation)
{
    Handle h;
    XMLcreateNewDoc(&h, "W");
    EXPECT_EQ(XMLaddChildElement(&h, "x"), 0);
    XMLchangeElement(&h, "/W");
    EXPECT_EQ(XMLaddSiblingElementBeforeMe(&h, "x"), 0);
    XMLaddChildElement(&h, "history");
    XMLaddChildElement(&h, "parameters");
    XMLchangeElement(&h, "parameters");
    XMLaddChildElement(&h, "b");
    XMLchangeElement(&h, "b");
    EXPECT_EQ(XMLaddSiblingElementBeforeMe(&h, "a"), 1);
    EXPECT_STREQ(XMLgetActualElementName(&h), "b");
    EXPECT_EQ(saved(h), "<W>\n\t<history/>\n\t<parameters>\n\t\t<a/>\n\t\t<b/>\n\t</parameters>\n</W>");
}

TEST(Editing, AddingToAnElementWithoutIndentationAppends)
{
    std::string file = scratch("flat.xml");
    write_text(file, "<W><a/></W>");
    Handle h;
    ASSERT_EQ(XMLopen(&h, file.c_str()), 1);
    XMLchangeElement(&h, "/W");
    XMLaddChildElement(&h, "b");
    EXPECT_EQ(XMLchangeElementWithNumber(&h, "", 2), 2);
    EXPECT_STREQ(XMLgetActualElementName(&h), "b");
    EXPECT_EQ(saved(h), "<W><a/>\n\t<b/>\n</W>");
}

TEST(Editing, AttributeFormats)
{
    Handle h;
    new_doc(h);
    const int ints[] = {2, 5, 3};
    const double reals[] = {0.5, 2, 1e-07};
    XMLchangeOrAddIntAttribute(&h, "value", 3);
    XMLchangeOrAddAttribute(&h, "other", "x");
    XMLchangeOrAddIntAttribute(&h, "value", 4);
    XMLchangeOrAddDoubleAttribute(&h, "tenth", 0.1);
    XMLchangeOrAddDoubleAttribute(&h, "third", 1.0 / 3);
    XMLchangeOrAddIntArrayAttribute(&h, "ints", ints, 3, " ");
    XMLchangeOrAddIntArrayAttribute(&h, "one", ints, 1, ",");
    XMLchangeOrAddIntArrayAttribute(&h, "none", ints, 0, ",");
    XMLchangeOrAddDoubleArrayAttribute(&h, "reals", reals, 3, ",");
    EXPECT_EQ(XMLchangeOrAddIntArrayAttribute(&h, "lost", nullptr, 2, ","), 0);
    EXPECT_EQ(XMLchangeOrAddDoubleArrayAttribute(&h, "lost", nullptr, 2, ","), 0);
    EXPECT_EQ(XMLgetAttrCount(&h), 8);
    const char* expected[][2] = {{"value", "4"}, {"other", "x"},   {"tenth", "0.1"},
                                 {"third", "0.3333333333"}, {"ints", "2 5 3"}, {"one", "2"},
                                 {"none", ""}, {"reals", "0.5,2,1e-07"}};
    char names[8][16], values[8][16];
    char* name_ptrs[8];
    char* value_ptrs[8];
    for (int i = 0; i < 8; ++i) {
        name_ptrs[i] = names[i];
        value_ptrs[i] = values[i];
    }
    XMLgetAttrs(&h, name_ptrs, value_ptrs);
    for (int i = 0; i < 8; ++i) {
        EXPECT_STREQ(names[i], expected[i][0]);
        EXPECT_STREQ(values[i], expected[i][1]);
    }
    EXPECT_EQ(XMLhasAttr(&h, "other", "x"), 1);
    EXPECT_EQ(XMLhasAttr(&h, "other", "y"), 0);
    EXPECT_EQ(XMLhasAttrName(&h, "none"), 1);
    EXPECT_EQ(XMLremoveAttribute(&h, "other"), 1);
    EXPECT_EQ(XMLremoveAttribute(&h, "other"), 0);
    EXPECT_EQ(XMLhasAttrName(&h, "other"), 0);
}

TEST(Editing, NumberReaders)
{
    Handle h;
    new_doc(h);
    XMLchangeOrAddAttribute(&h, "gaps", "1,2,,3,");
    XMLchangeOrAddAttribute(&h, "empty", "");
    XMLchangeOrAddAttribute(&h, "mixed", " 1.5\t2\n\n3e2, -4 ");
    XMLchangeOrAddAttribute(&h, "holes", "7,x,9");
    XMLchangeOrAddAttribute(&h, "big", "99999999999");
    XMLchangeOrAddAttribute(&h, "small", "-99999999999");
    XMLchangeOrAddAttribute(&h, "lead", "12abc");
    XMLchangeOrAddAttribute(&h, "word", "abc");

    int ints[4] = {0, 0, 0, 0};
    EXPECT_EQ(XMLgetAttrArraySize(&h, "gaps", ","), 3);
    EXPECT_EQ(XMLgetAttrIntArrayValue(&h, "gaps", ints, ","), ints);
    EXPECT_EQ(ints[0] * 100 + ints[1] * 10 + ints[2], 123);
    EXPECT_EQ(XMLgetAttrArraySize(&h, "empty", ","), 0);
    EXPECT_EQ(XMLgetAttrArraySize(&h, "absent", ","), -1);
    EXPECT_EQ(XMLgetAttrIntArrayValue(&h, "absent", ints, ","), nullptr);

    double reals[4] = {0, 0, 0, 0};
    EXPECT_EQ(XMLgetAttrArraySize(&h, "mixed", " \t\n,"), 4);
    XMLgetAttrDoubleArrayValue(&h, "mixed", reals, " \t\n,");
    EXPECT_EQ(reals[0] + reals[1] + reals[2] + reals[3], 1.5 + 2 + 300 - 4);

    int holes[3] = {0, -1, 0};
    XMLgetAttrIntArrayValue(&h, "holes", holes, ",");
    EXPECT_EQ(holes[1], -1);
    EXPECT_EQ(holes[2], 9);
    char words[3][4];
    char* word_ptrs[3] = {words[0], words[1], words[2]};
    XMLgetAttrStringArrayValue(&h, "holes", word_ptrs, ",");
    EXPECT_STREQ(words[1], "x");

    EXPECT_EQ(XMLgetAttrIntValue(&h, "absent", 42), 42);
    EXPECT_EQ(XMLgetAttrIntValue(&h, "lead", 42), 12);
    EXPECT_EQ(XMLgetAttrIntValue(&h, "word", 42), 0);
    EXPECT_EQ(XMLgetAttrIntValue(&h, "big", 0), INT_MAX);
    EXPECT_EQ(XMLgetAttrIntValue(&h, "small", 0), INT_MIN);
    EXPECT_EQ(XMLgetAttrDoubleValue(&h, "absent", 2.5), 2.5);
    EXPECT_EQ(XMLgetAttrDoubleValue(&h, "lead", 0), 12);
}

TEST(Editing, Texts)
{
    Handle h;
    new_doc(h);
    EXPECT_EQ(XMLhasText(&h), 0);
    EXPECT_EQ(XMLgetTextSize(&h), -1);
    char buffer[64] = "untouched";
    EXPECT_EQ(XMLgetText(&h, buffer), nullptr);
    EXPECT_STREQ(buffer, "untouched");
    XMLchangeOrAddText(&h, "old");
    XMLchangeOrAddText(&h, "creation time: ");
    XMLappendText(&h, "now");
    EXPECT_EQ(XMLgetTextSize(&h), 18);
    EXPECT_STREQ(XMLgetText(&h, buffer), "creation time: now");
    XMLaddChildElement(&h, "c");
    XMLappendIndentText(&h);
    EXPECT_EQ(saved(h), "<W><c/>\n\t\n</W>");
    EXPECT_EQ(XMLremoveText(&h), 1);
    EXPECT_EQ(XMLhasText(&h), 0);
}

TEST(Editing, RemovingTheCurrentElement)
{
    Handle h;
    new_doc(h);
    for (int i = 1; i <= 5; ++i) {
        XMLaddChildElement(&h, "item");
        XMLchangeElementWithNumber(&h, "item", i);
        XMLchangeOrAddIntAttribute(&h, "n", i);
        XMLchangeElementBack(&h);
    }
    XMLchangeElementWithNumber(&h, "item", 3);
    EXPECT_EQ(XMLremoveElement(&h), 1);
    EXPECT_STREQ(XMLgetActualPath(&h), "/W");
    EXPECT_EQ(XMLgetNumofChildElements(&h), 4);
    XMLchangeElementWithNumber(&h, "item", 3);
    EXPECT_EQ(XMLgetAttrIntValue(&h, "n", 0), 4);
    std::string file = saved(h);
    EXPECT_NE(file.find("\n\t\n\t<item"), std::string::npos);
    XMLchangeElement(&h, "/W");
    EXPECT_EQ(XMLremoveElement(&h), 0);
    XMLchangeElementRoot(&h);
    EXPECT_EQ(XMLremoveElement(&h), 0);
}

TEST(Editing, RemovingByPathSparesTheCursorsOwnLine)
{
    const struct {
        const char* cursor;
        const char* target;
        int result;
        int rows_left;
    } cases[] = {
        {"/W/row/cell", "/W/row", 0, 2},
        {"/W/row/cell", "/W/k1/cell", 0, 2},
        {"/W/row/cell", "/W/k1", 0, 2},
        {"/W/row", "/W/row", 0, 2},
        {"/W/rowX", "/W/row", 1, 1},
        {"/W", "/W/#2#row", 1, 1},
        {"/W", "/W/nothing", 0, 2},
    };
    for (const auto& c : cases) {
        std::string file = scratch("remove.xml");
        write_text(file, "<W><row ID=\"k1\"><cell/></row><row/><rowX/></W>");
        Handle h;
        ASSERT_EQ(XMLopen(&h, file.c_str()), 1);
        ASSERT_EQ(XMLchangeElement(&h, c.cursor), 1);
        EXPECT_EQ(XMLremoveElementWithPath(&h, c.target), c.result) << c.target;
        if (c.result) {
            EXPECT_STREQ(XMLgetActualPath(&h), c.cursor);
        }
        XMLchangeElement(&h, "/W");
        int rows = 0;
        for (int n = 1; XMLchangeElementWithNumber(&h, "row", n); ++n, XMLchangeElement(&h, "/W"))
            ++rows;
        EXPECT_EQ(rows, c.rows_left) << c.target;
    }
    Handle h;
    new_doc(h);
    XMLaddChildElement(&h, "p");
    XMLchangeElement(&h, "p");
    XMLchangeOrAddAttribute(&h, "k", "v");
    XMLchangeElement(&h, "/W");
    EXPECT_EQ(XMLremoveElementWithAttribute(&h, "p", "k", "v"), 1);
    EXPECT_EQ(XMLremoveElementWithNumber(&h, "", 1), 0);
    EXPECT_EQ(XMLgetNumofChildElements(&h), 0);
}

// A comment or declaration is markup, not text: appendText joins only the
// plain text and leaves the markup as it stood.
TEST(Editing, AppendTextLeavesCommentsAlone)
{
    const struct {
        const char* file;
        const char* appended;
        const char* after;  // the saved file afterwards
    } cases[] = {
        {"<A><!-- c --></A>", "x", "<A><!-- c -->x</A>"},
        {"<A><!-- c -->old</A>", " new", "<A><!-- c -->old new</A>"},
        {"<A>old<!-- c --></A>", "+", "<A><!-- c -->old+</A>"},
        {"<A><?pi a?><!-- c --><b/>t</A>", "u", "<A><?pi a?><!-- c --><b/>tu</A>"},
        {"<A><!-- a & b < c --></A>", "&", "<A><!-- a & b < c -->&amp;</A>"},
    };
    std::string file = scratch("comment.xml");
    for (const auto& c : cases) {
        write_text(file, c.file);
        Handle h;
        ASSERT_EQ(XMLopen(&h, file.c_str()), 1) << c.file;
        XMLchangeElement(&h, "/A");
        EXPECT_EQ(XMLappendText(&h, c.appended), 1);
        EXPECT_EQ(saved(h), c.after) << c.file;
    }
}

// Names that are no XML names, and elements deeper than the reader takes,
// are refused when the tree is built, so that whatever saves also opens. The
// names the plug-ins use all pass.
TEST(Editing, OnlyXmlNamesAndReadableDepthsAreBuilt)
{
    const struct {
        const char* name;
        int accepted;
    } cases[] = {
        {"V_12", 1}, {"X_0", 1}, {"VW_3", 1}, {"MIXTURE", 1}, {"out_weights", 1},
        {"feed-forward_neural_network", 1}, {"kernel_param0", 1}, {"a.b-c:d", 1},
        {"_x", 1}, {":x", 1}, {"\xc3\xa9t\xc3\xa9", 1}, {"ID", 1},
        {"", 0}, {"1a", 0}, {"-a", 0}, {".a", 0}, {"a b", 0}, {"a>b", 0}, {"a/b", 0},
        {"<a", 0}, {"a\"", 0}, {"a=b", 0}, {"!x", 0}, {"?x", 0}, {"a\tb", 0}, {"a&b", 0},
    };
    for (const auto& c : cases) {
        Handle h;
        EXPECT_EQ(XMLcreateNewDoc(&h, c.name), c.accepted) << c.name;
        XMLclose(&h);
        XMLcreateNewDoc(&h, "W");
        XMLchangeElement(&h, "/W");
        EXPECT_EQ(XMLaddChildElement(&h, c.name), c.accepted) << c.name;
        EXPECT_EQ(XMLchangeOrAddAttribute(&h, c.name, "1"), c.accepted) << c.name;
        XMLaddChildElement(&h, "k");
        XMLchangeElement(&h, "k");
        EXPECT_EQ(XMLaddSiblingElementBeforeMe(&h, c.name), c.accepted) << c.name;
        EXPECT_EQ(XMLgetNumofChildElements(&h), 0);
        XMLchangeElement(&h, "/W");
        EXPECT_EQ(XMLgetNumofChildElements(&h), 1 + 2 * c.accepted) << c.name;
        EXPECT_EQ(XMLgetAttrCount(&h), c.accepted) << c.name;
        Handle back;
        std::string file = scratch("names.xml");
        ASSERT_EQ(XMLsave(&h, file.c_str()), 1);
        EXPECT_EQ(XMLopen(&back, file.c_str()), 1) << c.name;
    }
    EXPECT_EQ(XMLcreateNewDoc(nullptr, "W"), 0);

    // A chain down to the deepest readable level: one more level is refused.
    Handle h;
    XMLcreateNewDoc(&h, "W");
    XMLchangeElement(&h, "/W");
    for (int depth = 1; depth < 256; ++depth) {
        ASSERT_EQ(XMLaddChildElement(&h, "e"), 1) << depth;
        ASSERT_EQ(XMLchangeElement(&h, "e"), 1);
    }
    EXPECT_EQ(XMLgetDepth(&h), 256);
    EXPECT_EQ(XMLaddChildElement(&h, "e"), 0);
    EXPECT_EQ(XMLaddSiblingElementBeforeMe(&h, "f"), 1);
    std::string deep = scratch("deep.xml");
    ASSERT_EQ(XMLsave(&h, deep.c_str()), 1);
    Handle back;
    EXPECT_EQ(XMLopen(&back, deep.c_str()), 1);
}
