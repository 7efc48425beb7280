// Memory that runs out inside an exported XMLParser method ends the process
// with "Out of memory." (status 1), as it does in the plain functions; no
// std::bad_alloc reaches the caller. The program replaces operator new so
// that a chosen allocation fails.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <new>
#include <string>

#include "tests/xml/xml_test_util.h"

// The replacements below pair malloc with free on purpose.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
// Allocations left before the one that fails; negative: none fails.
int allocations_before_failure = -1;
}  // namespace

void* operator new(size_t size)
{
    if (allocations_before_failure == 0) {
        allocations_before_failure = -1;
        throw std::bad_alloc();
    }
    if (allocations_before_failure > 0)
        --allocations_before_failure;
    void* block = malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    return block;
}

void operator delete(void* block) noexcept
{
    free(block);
}

void operator delete(void* block, size_t) noexcept
{
    free(block);
}

namespace {

const std::string kLong(200, 'n');  // longer than any text kept without allocating

// A parser on a document R with a child named kLong that has a long list
// attribute and a long text, the cursor on R.
XMLParser* prepared_parser()
{
    XMLParser* parser = new XMLParser;
    parser->createNewDoc("R");
    parser->changeElement("/R");
    parser->addChildElement(kLong.c_str());
    parser->changeElement(kLong.c_str());
    parser->changeOrAddAttribute("list", (kLong + "," + kLong).c_str());
    parser->changeOrAddText(kLong.c_str());
    parser->changeElement("/R");
    return parser;
}

// Each call sets the failure right before the method, after making its own
// arguments, so the first allocation inside the method is the one that fails.
TEST(AllocationFailure, ExportedMethodsEndTheProcessWithTheLibrarysMessage)
{
    static const double reals[] = {1, 2, 3};
    static const std::string path = "/R/" + kLong;
    static const std::string file = scratch("never.xml");
    auto fail_next = [] { allocations_before_failure = 0; };
    const struct {
        const char* label;
        std::function<void(XMLParser&)> call;
    } cases[] = {
        {"changeElement", [&](XMLParser& p) { fail_next(); p.changeElement(path.c_str()); }},
        {"changeElement with number", [&](XMLParser& p) { fail_next(); p.changeElement(kLong.c_str(), 1); }},
        {"getAttrArraySize", [&](XMLParser& p) { p.changeElement(kLong.c_str()); fail_next(); p.getAttrArraySize("list", ","); }},
        {"appendText", [&](XMLParser& p) { p.changeElement(kLong.c_str()); fail_next(); p.appendText("x"); }},
        {"changeOrAddDoubleArrayAttribute", [&](XMLParser& p) { fail_next(); p.changeOrAddDoubleArrayAttribute("v", reals, 3, ","); }},
        {"removeElement by path", [&](XMLParser& p) { p.changeElement(kLong.c_str()); fail_next(); p.removeElement("/R"); }},
        {"save", [&](XMLParser& p) { fail_next(); p.save(file.c_str(), true); }},
        {"copy", [&](XMLParser& p) { p.changeElement(kLong.c_str()); fail_next(); XMLParser copy(p); }},
        {"assignment", [&](XMLParser& p) { p.changeElement(kLong.c_str()); XMLParser other; fail_next(); other = p; }},
    };
    for (const auto& c : cases) {
        EXPECT_EXIT(
            {
                XMLParser* parser = prepared_parser();
                c.call(*parser);
                allocations_before_failure = -1;
                fprintf(stderr, "no allocation failed");
                exit(3);
            },
            testing::ExitedWithCode(1), "^Out of memory\\.$")
            << c.label;
    }
}

}  // namespace
