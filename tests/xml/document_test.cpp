// Node lists: linking, the attribute rule and destruction of whole subtrees.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "tests/xml/xml_test_util.h"

TEST(Document, ListsStayLinkedBothWays)
{
    XMLDocument document("R");
    XMLNode* r = document.root->firstChild;
    XMLNode* b = r->appendChild(new_element("b"));
    b->insertBefore(new_element("a"));
    r->appendChild(new_text("t", 1));
    r->appendChild(new_attribute("x", "1"));
    r->appendChild(new_attribute("y", "2"));
    XMLNode* kept = r->appendChild(new_attribute("x", "3"));
    r->findAttribute("y")->insertBefore(new_attribute("w", "0"));
    EXPECT_EQ(dump(document.root), "__ROOT(R[x=3,w=0,y=2](a b 't'))");
    EXPECT_EQ(kept, r->firstAttribute);
    EXPECT_EQ(r->lastChild->prevSibling->prevSibling->nextSibling, b);

    b->unlink();
    EXPECT_EQ(dump(r), "R[x=3,w=0,y=2](a 't')");
    EXPECT_EQ(b->parent, nullptr);
    b->destroy();
    r->firstChild->destroy();
    r->lastChild->destroy();
    r->findAttribute("w")->destroy();
    EXPECT_EQ(dump(r), "R[x=3,y=2]");
    EXPECT_EQ(r->firstChild, nullptr);
    EXPECT_EQ(r->lastChild, nullptr);
}

TEST(Document, DeepTreesAreDestroyedWithoutRecursion)
{
    XMLDocument* document = new_document("R");
    XMLNode* node = document->root->firstChild;
    for (int i = 0; i < 100000; ++i) {
        node = node->appendChild(new_element("e"));
        node->appendChild(new_attribute("a", "1"));
    }
    delete document;
}

// The first child element of a name, found by a walk from the first child.
static XMLNode* scan_first(const XMLNode* parent, const char* name)
{
    for (XMLNode* c = parent->firstChild; c; c = c->nextSibling)
        if (c->type == XML_ELEMENT && strcmp(c->name, name) == 0)
            return c;
    return nullptr;
}

// Among many children the look-up by name goes through an index; after every
// kind of change it must agree with a walk from the first child.
TEST(Document, NameLookUpAgreesWithAWalkAfterEveryChange)
{
    XMLDocument document("R");
    XMLNode* r = document.root->firstChild;
    const char* names[] = {"a", "b", "c", "d"};
    unsigned state = 12345;
    auto next = [&state](unsigned range) {
        state = state * 1103515245u + 12345u;
        return (state >> 16) % range;
    };
    std::vector<XMLNode*> elements;
    for (int i = 0; i < 100; ++i)
        elements.push_back(r->appendChild(new_element(("n" + std::to_string(i)).c_str())));
    r->appendChild(new_text("\n", 1));
    for (int step = 0; step < 3000; ++step) {
        const char* name = names[next(4)];
        XMLNode* some = elements[next(static_cast<unsigned>(elements.size()))];
        switch (next(6)) {
        case 0:  // appended before the trailing text, as addChildElement does
            elements.push_back(r->lastChild->insertBefore(new_element(name)));
            break;
        case 1:  // inserted in the middle
            elements.push_back(some->insertBefore(new_element(name)));
            break;
        case 2:  // appended at the very end
            elements.push_back(r->appendChild(new_element(name)));
            break;
        case 3:  // renamed
            some->setName(name);
            break;
        case 4:  // removed
            if (elements.size() > 50) {
                some->destroy();
                elements.erase(std::find(elements.begin(), elements.end(), some));
            }
            break;
        default:
            break;
        }
        for (const char* look : names)
            ASSERT_EQ(first_child_element(r, look), scan_first(r, look)) << "step " << step << " " << look;
        ASSERT_EQ(first_child_element(r, "n99"), scan_first(r, "n99")) << step;
    }
}
