// The copy of the library built for the mixture plug-in: twenty-digit reals,
// silent open, reported save failures, first tag as the document element.
#include <gtest/gtest.h>

#include "tests/xml/xml_test_util.h"

TEST(Variant, RealsKeepTwentyDigits)
{
    Handle h;
    XMLcreateNewDoc(&h, "BELLMIX");
    XMLchangeElement(&h, "/BELLMIX");
    const double reals[] = {0.1, 2};
    const int ints[] = {1, 2};
    XMLchangeOrAddDoubleAttribute(&h, "third", 1.0 / 3);
    XMLchangeOrAddDoubleArrayAttribute(&h, "reals", reals, 2, ",");
    XMLchangeOrAddIntArrayAttribute(&h, "ints", ints, 2, ",");
    std::string file = scratch("variant.xml");
    ASSERT_EQ(XMLsave(&h, file.c_str()), 1);
    EXPECT_EQ(read_text(file), "<BELLMIX\n   third=\"0.33333333333333331483\""
                               "\n   reals=\"0.10000000000000000555,2\"\n   ints=\"1,2\"/>");
}

// A failed open is silent; a failed save says so, as in the other copies,
// so that the mixture plug-in cannot lose a model unseen.
TEST(Variant, FailedOpenIsSilentFailedSaveIsReported)
{
    Handle h;
    testing::internal::CaptureStderr();
    EXPECT_EQ(XMLopen(&h, scratch("absent.xml").c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    std::string file = scratch("x.xml"), unreachable = scratch("no/folder/x.xml");
    EXPECT_EQ(XMLsave(&h, file.c_str()), 0);
    h.parser->createNewDoc("B");
    EXPECT_EQ(XMLsave(&h, unreachable.c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't write the xml file\n" + file + ": no document is open\n"
              "Can't write the xml file\n" + unreachable + ": No such file or directory\n");
}

TEST(Variant, FirstTagIsTheDocumentElement)
{
    const struct {
        const char* input;
        const char* tree;
    } cases[] = {
        {"junk <M><!x/>\n</M>", "__ROOT(M(!x '\n'))"},
        {"<?xml v=\"1\"?><M/></?xml>", "__ROOT(?xml[v=1,?=](M))"},
        {"<M>", "FAIL"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parse_dump(c.input), c.tree) << c.input;
}

TEST(Variant, OnlyTheFirstTopLevelNodeIsWritten)
{
    XMLDocument document("A");
    document.root->appendChild(new_element("B"));
    std::string out;
    ASSERT_TRUE(document.toText(out, true));
    EXPECT_EQ(out, "<A/>");
}
