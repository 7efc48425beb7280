// Node lists: linking, the attribute rule and destruction of whole subtrees.
#include <gtest/gtest.h>

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
