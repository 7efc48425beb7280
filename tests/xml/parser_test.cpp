// Parser lifecycle through the exported functions: open, create, save,
// reset and the sharing of one document by copies.
#include <gtest/gtest.h>

#include "tests/xml/xml_test_util.h"

TEST(Parser, NewDocumentStartsAtTheTop)
{
    Handle h;
    ASSERT_EQ(XMLcreateNewDoc(&h, "WARPFOLD"), 1);
    EXPECT_STREQ(XMLgetActualElementName(&h), "__ROOT");
    EXPECT_EQ(XMLgetDepth(&h), 0);
    EXPECT_EQ(XMLchangeElement(&h, "/WARPFOLD"), 1);
    EXPECT_EQ(XMLgetDepth(&h), 1);
    EXPECT_EQ(XMLchangeElementRoot(&h), 1);
    EXPECT_STREQ(XMLgetActualPath(&h), "");
}

TEST(Parser, MissingFileStillSetsTheHandle)
{
    XMLParser* parser = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(XMLopen(&parser, scratch("absent.xml").c_str()), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Can't parse the xml document.\n" + scratch("absent.xml") +
                  ": No such file or directory\n");
    ASSERT_NE(parser, nullptr);
    EXPECT_EQ(XMLclose(&parser), 1);
    EXPECT_EQ(XMLopen(nullptr, "x"), 0);
}

TEST(Parser, ResetLeavesNoDocument)
{
    std::string file = scratch("reset.xml");
    write_text(file, "kept");
    Handle h;
    XMLcreateNewDoc(&h, "R");
    XMLchangeElement(&h, "/R");
    EXPECT_EQ(XMLreset(&h), 1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(XMLsave(&h, file.c_str()), 0);
    EXPECT_EQ(_XMLsave(&h), 0);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(read_text(file), "kept");
    EXPECT_EQ(XMLaddChildElement(&h, "x"), 0);
    EXPECT_EQ(XMLchangeOrAddAttribute(&h, "a", "1"), 0);
    EXPECT_EQ(XMLchangeOrAddText(&h, "t"), 0);
    EXPECT_EQ(XMLremoveElement(&h), 0);
    EXPECT_EQ(XMLremoveElementWithPath(&h, "/R"), 0);
    EXPECT_EQ(XMLhasText(&h), 0);
    EXPECT_EQ(XMLgetAttrCount(&h), 0);
    EXPECT_EQ(XMLgetAttrIntValue(&h, "a", 5), 5);
    EXPECT_EQ(h.parser->createNewDoc("S"), 1);
    EXPECT_EQ(XMLchangeElement(&h, "/S"), 1);
}

TEST(Parser, CopiesShareTheDocumentSafely)
{
    XMLParser* original = new XMLParser();
    ASSERT_EQ(original->createNewDoc("R"), 1);
    original->changeElement("/R");
    XMLParser copy;
    copy = *original;
    XMLParser second(copy);
    second = second;
    original->changeOrAddIntAttribute("n", 7);
    delete original;
    EXPECT_EQ(copy.getAttrIntValue("n", 0), 7);
    copy.reset();
    EXPECT_STREQ(second.getActualElementName(), "R");
    second = copy;
    EXPECT_EQ(second.getActualElementName(), nullptr);
}

TEST(Parser, SaveWithoutNameWritesTheOpenedFile)
{
    std::string file = scratch("resave.xml");
    write_text(file, "<R/>");
    Handle h;
    ASSERT_EQ(XMLopen(&h, file.c_str()), 1);
    XMLchangeElement(&h, "/R");
    XMLchangeOrAddIntAttribute(&h, "v", 2);
    ASSERT_EQ(_XMLsave(&h), 1);
    EXPECT_EQ(read_text(file), "<R\n   v=\"2\"/>");
}
