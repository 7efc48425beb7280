// The path language and the counting rules of the cursor.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/xml/xml_test_util.h"
#include "xml/path.h"

namespace {

const char* kModel =
    "<M>\n"
    "\t<history>\n\t\t<item>a</item>\n\t\t<item>b</item>\n\t\t<item>c</item>\n\t</history>\n"
    "\t<parameters>\n\t\t<p ID=\"alpha\" k=\"1\"/>\n\t\t<q/>\n\t\t<p k=\"2\"/>\n\t</parameters>\n"
    "</M>";

void open_model(Handle& h)
{
    std::string file = scratch("path_model.xml");
    write_text(file, kModel);
    ASSERT_EQ(XMLopen(&h, file.c_str()), 1);
}

}  // namespace

TEST(Path, WalksAndRecordsThePathText)
{
    const struct {
        const char* start;
        const char* path;
        int result;
        const char* path_text;
        const char* element;
    } cases[] = {
        {"/M/history", "", 1, "/M/history", "history"},
        {"/M/history", "/", 1, "", "__ROOT"},
        {"/", "/M/history/#3#item", 1, "/M/history/#3#item", "item"},
        {"/", "/M/history/#1#item", 1, "/M/history/item", "item"},
        {"/", "/M/history/#4#item", 0, "/M/history", "history"},
        {"/", "/M/history/#0#item", 0, "/M/history", "history"},
        {"/", "/M/history/#x#item", 0, "/M/history", "history"},
        {"/", "M/history/# 2#item", 1, "/M/history/#2#item", "item"},
        {"/", "/M/parameters/alpha", 1, "/M/parameters/alpha", "p"},
        {"/", "/M/parameters/#2#", 1, "/M/parameters/#2#", "q"},
        {"/", "/M/parameters/#3#", 1, "/M/parameters/#3#", "p"},
        {"/", "/M/nothing/x", 0, "/M", "M"},
        {"/M/history", "../parameters/./q", 1, "/M/parameters/q", "q"},
        {"/M/history", "..", 0, "/M/history", "history"},
    };
    for (const auto& c : cases) {
        Handle h;
        open_model(h);
        ASSERT_EQ(XMLchangeElement(&h, c.start), 1) << c.start;
        EXPECT_EQ(XMLchangeElement(&h, c.path), c.result) << c.path;
        EXPECT_STREQ(XMLgetActualPath(&h), c.path_text) << c.path;
        EXPECT_STREQ(XMLgetActualElementName(&h), c.element) << c.path;
        Handle again;
        open_model(again);
        if (c.result) {
            EXPECT_EQ(XMLchangeElement(&again, XMLgetActualPath(&h)), 1) << c.path;
        }
    }
}

TEST(Path, NumberedAndAttributeSteps)
{
    Handle h;
    open_model(h);
    EXPECT_EQ(XMLgetDepth(&h), 0);
    ASSERT_EQ(XMLchangeElement(&h, "/M/parameters"), 1);
    EXPECT_EQ(XMLgetDepth(&h), 2);
    EXPECT_EQ(XMLgetNumofChildElements(&h), 3);
    EXPECT_EQ(XMLchangeElementWithNumber(&h, "", 2), 2);
    EXPECT_STREQ(XMLgetActualElementName(&h), "q");
    EXPECT_EQ(XMLchangeElementWithAttribute(&h, "/M/parameters/p", "k", "2"), 1);
    EXPECT_STREQ(XMLgetActualPath(&h), "/M/parameters/#2#p");
    EXPECT_EQ(XMLchangeElementWithAttribute(&h, "/M/parameters/p", "k", "1"), 1);
    EXPECT_STREQ(XMLgetActualPath(&h), "/M/parameters/p");
    EXPECT_EQ(XMLchangeElementWithAttribute(&h, "/M/parameters/p", "k", "3"), 0);
    EXPECT_STREQ(XMLgetActualPath(&h), "/M/parameters");
    EXPECT_EQ(XMLhasChildElement(&h, "q"), 1);
    EXPECT_EQ(XMLhasChildElement(&h, "item"), 0);
}

TEST(Path, BackAtTheTopReportsAndStays)
{
    Handle h;
    open_model(h);
    testing::internal::CaptureStderr();
    EXPECT_EQ(XMLchangeElement(&h, "../"), 0);
    EXPECT_EQ(XMLchangeElementBack(&h), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "error: there is no more parent node"
              "error: there is no more parent node");
    EXPECT_STREQ(XMLgetActualElementName(&h), "__ROOT");
    EXPECT_STREQ(XMLgetActualPath(&h), "");
}

// Sequential numbered walks resume where the last step landed; after edits
// in the middle they must still agree with a count from the first child.
TEST(Path, SequentialNumberedWalksMatchFreshCounts)
{
    Handle h;
    XMLcreateNewDoc(&h, "R");
    XMLchangeElement(&h, "/R");
    for (int i = 1; i <= 40; ++i) {
        XMLaddChildElement(&h, i % 3 ? "row" : "other");
        XMLchangeElementWithNumber(&h, "", i);
        XMLchangeOrAddIntAttribute(&h, "n", i);
        XMLchangeElementBack(&h);
    }
    auto walk = [&](bool forward, const char* name) {
        std::vector<int> seen;
        int count = XMLgetNumofChildElements(&h);
        for (int k = 0; k < count; ++k) {
            int n = forward ? k + 1 : count - k;
            int ok = name ? XMLchangeElementWithNumber(&h, name, n)
                          : XMLgotoChildElementWithNum(&h, n);
            if (ok)
                seen.push_back(XMLgetAttrIntValue(&h, "n", -1));
            XMLchangeElement(&h, "/R");
        }
        if (!forward)
            std::reverse(seen.begin(), seen.end());
        return seen;
    };
    for (int round = 0; round < 3; ++round) {
        XMLchangeElement(&h, "/R");
        EXPECT_EQ(walk(true, nullptr), walk(false, nullptr)) << round;
        EXPECT_EQ(walk(true, "row"), walk(false, "row")) << round;
        if (round == 0) {
            XMLremoveElementWithNumber(&h, "row", 5);
            XMLchangeElementWithNumber(&h, "row", 2);
            XMLaddSiblingElementBeforeMe(&h, "row");
        } else {
            XMLremoveElementWithNumber(&h, "", 1);
        }
        XMLchangeElement(&h, "/R");
    }
}

// The init-file classifiers' walk: numbered class elements, each with one
// child reached by number, written (child added, then stepped into) and
// rewritten (child removed and added again). Stepping into the child must
// not make the next numbered step count from the first class again: the
// children looked at stay a few per class, not one per class before it.
TEST(Path, SteppingIntoOnlyChildrenKeepsNumberedWalksLinear)
{
    const int classes = 3000;
    Handle h;
    XMLcreateNewDoc(&h, "R");
    auto visits_of = [&](auto&& step) {
        unsigned long long before = xml_sibling_visits;
        for (int c = 1; c <= classes; ++c) {
            XMLchangeElement(&h, "/R");
            step(c);
            XMLaddChildElement(&h, "kernel");
            XMLgotoChildElementWithNum(&h, XMLgetNumofChildElements(&h));
            XMLchangeOrAddIntAttribute(&h, "of", c);
        }
        return xml_sibling_visits - before;
    };
    unsigned long long written = visits_of([&](int c) {
        XMLaddChildElement(&h, "class");
        XMLgotoChildElementWithNum(&h, c);
    });
    unsigned long long rewritten = visits_of([&](int c) {
        XMLchangeElementWithNumber(&h, "class", c);
        XMLchangeElement(&h, "kernel");
        XMLremoveElement(&h);
    });
    EXPECT_LE(written, 10ULL * classes);
    EXPECT_LE(rewritten, 10ULL * classes);
    for (int c : {1, 1500, classes}) {
        XMLchangeElement(&h, "/R");
        ASSERT_EQ(XMLchangeElementWithNumber(&h, "class", c), 1);
        EXPECT_EQ(XMLgetNumofChildElements(&h), 1);
        ASSERT_EQ(XMLchangeElement(&h, "kernel"), 1);
        EXPECT_EQ(XMLgetAttrIntValue(&h, "of", 0), c);
    }
}

TEST(Path, NoDocumentGivesFailureValues)
{
    Handle h;
    XMLcreateNewDoc(&h, "R");
    XMLreset(&h);
    EXPECT_EQ(XMLchangeElement(&h, "/R"), 0);
    EXPECT_EQ(XMLchangeElementRoot(&h), 0);
    EXPECT_EQ(XMLchangeElementBack(&h), 0);
    EXPECT_EQ(XMLgotoChildElementWithNum(&h, 1), 0);
    EXPECT_EQ(XMLgetNumofChildElements(&h), 0);
    EXPECT_EQ(XMLgetDepth(&h), 0);
    EXPECT_EQ(XMLgetActualElementName(&h), nullptr);
    EXPECT_STREQ(XMLgetActualPath(&h), "");
    XMLParser* none = nullptr;
    EXPECT_EQ(XMLchangeElement(&none, "/R"), 0);
    EXPECT_EQ(XMLchangeElement(nullptr, "/R"), 0);
    EXPECT_EQ(XMLgetAttrValueSize(&none, "a"), -1);
}

// Name look-up steps to write `rows` elements "X_0", "X_1", ... under
// parameters and read each back by its absolute path, the way the kernel
// plug-ins store and load their training rows.
static unsigned long long named_rows_steps(int rows)
{
    unsigned long long before = xml_scan_steps;
    Handle h;
    XMLcreateNewDoc(&h, "WARPFOLD");
    XMLchangeElement(&h, "/WARPFOLD");
    XMLaddChildElement(&h, "parameters");
    for (int i = 0; i < rows; ++i) {
        std::string name = "X_" + std::to_string(i);
        XMLchangeElement(&h, "/WARPFOLD/parameters");
        XMLaddChildElement(&h, name.c_str());
        XMLchangeElement(&h, name.c_str());
        XMLchangeOrAddIntAttribute(&h, "value", i);
    }
    for (int i = 0; i < rows; ++i) {
        std::string path = "/WARPFOLD/parameters/X_" + std::to_string(i);
        EXPECT_EQ(XMLchangeElement(&h, path.c_str()), 1);
        EXPECT_EQ(XMLgetAttrIntValue(&h, "value", -1), i);
    }
    return xml_scan_steps - before;
}

// Looking children up by name from the first child each time made this
// pattern quadratic; ten times the rows must take about ten times the steps.
TEST(Path, NamedRowsWriteAndReadInLinearTime)
{
    unsigned long long small = named_rows_steps(2000);
    unsigned long long large = named_rows_steps(20000);
    EXPECT_LE(large, 12 * small + 100) << small << " steps for 2000 rows, " << large << " for 20000";
}
