// Two plug-ins that each link the XML library: every exported name is found
// in each, defined there, and the two copies share no state.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <set>
#include <string>

namespace {

const char* const kExported[] = {
    "XMLopen", "XMLsave", "_XMLsave", "XMLclose", "XMLreset", "XMLchangeElement",
    "XMLchangeElementWithNumber", "XMLchangeElementWithAttribute", "XMLchangeElementBack",
    "XMLchangeElementRoot", "XMLgotoChildElementWithNum", "XMLgetNumofChildElements",
    "XMLgetActualElementName", "XMLhasChildElement", "XMLgetActualPath", "XMLhasAttr",
    "XMLhasAttrName", "XMLgetAttrCount", "XMLgetAttrs", "XMLgetAttrValueSize",
    "XMLgetAttrValue", "XMLgetAttrIntValue", "XMLgetAttrDoubleValue", "XMLgetAttrArraySize",
    "XMLgetAttrIntArrayValue", "XMLgetAttrDoubleArrayValue", "XMLgetAttrStringArrayValue",
    "XMLhasText", "XMLgetTextSize", "XMLgetText", "XMLremoveElement",
    "XMLremoveElementWithPath", "XMLremoveElementWithNumber", "XMLremoveElementWithAttribute",
    "XMLremoveAttribute", "XMLremoveText", "XMLgetDepth", "XMLcreateNewDoc",
    "XMLaddChildElement", "XMLaddSiblingElementBeforeMe", "XMLchangeOrAddAttribute",
    "XMLchangeOrAddIntAttribute", "XMLchangeOrAddDoubleAttribute",
    "XMLchangeOrAddIntArrayAttribute", "XMLchangeOrAddDoubleArrayAttribute",
    "XMLchangeOrAddText", "XMLappendText", "XMLappendIndentText",
    // the class, one method of each kind
    "_ZN9XMLParserC1Ev", "_ZN9XMLParserD1Ev", "_ZN9XMLParseraSERKS_", "_ZN9XMLParser4openEPKc",
    "_ZN9XMLParser16gotoChildElementEPKc",
};

struct Plugin {
    void* library;
    std::string path;
    explicit Plugin(const char* name) : path(std::string(XML_PROBE_DIR) + "/" + name)
    {
        library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
    ~Plugin()
    {
        if (library)
            dlclose(library);
    }
    // The symbol, when this library itself defines it.
    void* own(const char* name) const
    {
        void* symbol = dlsym(library, name);
        Dl_info info;
        if (!symbol || !dladdr(symbol, &info) || !info.dli_fname)
            return nullptr;
        return path == info.dli_fname ? symbol : nullptr;
    }
    template <typename F>
    F function(const char* name) const
    {
        return reinterpret_cast<F>(own(name));
    }
};

}  // namespace

TEST(Export, EveryNameIsDefinedInEachPlugin)
{
    Plugin a("xml_probe_a.so"), b("xml_probe_b.so");
    ASSERT_NE(a.library, nullptr) << dlerror();
    ASSERT_NE(b.library, nullptr) << dlerror();
    EXPECT_EQ(sizeof kExported / sizeof *kExported, 48u + 5u);
    std::set<void*> addresses;
    for (const char* name : kExported) {
        void* in_a = a.own(name);
        void* in_b = b.own(name);
        EXPECT_NE(in_a, nullptr) << name;
        EXPECT_NE(in_b, nullptr) << name;
        EXPECT_NE(in_a, in_b) << name;
        addresses.insert(in_a);
        addresses.insert(in_b);
    }
    EXPECT_EQ(addresses.size(), 2 * (sizeof kExported / sizeof *kExported));
    const char* hidden[] = {"_Z8new_nodei", "_ZN11XMLDocument5parseEPKc", "print_message"};
    for (const char* name : hidden)
        EXPECT_EQ(dlsym(a.library, name), nullptr) << name;
}

TEST(Export, EachPluginKeepsItsOwnState)
{
    Plugin a("xml_probe_a.so"), b("xml_probe_b.so");
    ASSERT_TRUE(a.library && b.library);
    using Start = int (*)(const char*);
    using Count = int (*)();
    using Name = const char* (*)();
    using Bound = void* (*)();
    EXPECT_EQ(a.function<Bound>("probe_bound_function")(), a.own("XMLcreateNewDoc"));
    EXPECT_EQ(b.function<Bound>("probe_bound_function")(), b.own("XMLcreateNewDoc"));
    ASSERT_EQ(a.function<Start>("probe_start")("A"), 1);
    ASSERT_EQ(b.function<Start>("probe_start")("B"), 1);
    for (int i = 0; i < 3; ++i)
        a.function<Start>("probe_add")("x");
    b.function<Start>("probe_add")("y");
    EXPECT_EQ(a.function<Count>("probe_count")(), 3);
    EXPECT_EQ(b.function<Count>("probe_count")(), 1);
    EXPECT_STREQ(a.function<Name>("probe_name")(), "A");
    EXPECT_STREQ(b.function<Name>("probe_name")(), "B");
    EXPECT_EQ(a.function<Count>("probe_stop")(), 1);
    EXPECT_EQ(b.function<Count>("probe_stop")(), 1);
}
