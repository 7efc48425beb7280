// Builds a model through the exported functions from arbitrary bytes: each
// step adds, sets, moves or removes, with names, values
// and texts taken from the input. Whatever the library agrees to save must
// open again; the file it then saves (where an empty text, which writes as
// nothing, is gone) must open and save to the very same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "xml/xml_functions.h"

namespace {

// The input, read as a stream of small values and texts.
struct Bytes {
    const uint8_t* data;  // next byte
    size_t left;          // bytes not yet taken
    int byte() { return left ? (--left, *data++) : -1; }
    std::string text()
    {
        int length = byte();
        std::string out;
        for (int i = 0; i < length % 12 && left; ++i)
            out += static_cast<char>(byte());
        return out.c_str();  // up to an embedded NUL, as a C caller passes it
    }
};

std::string file_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// One editing step chosen by the next byte.
void step(XMLParser** h, Bytes& in, int op)
{
    switch (op % 9) {
    case 0: XMLaddChildElement(h, in.text().c_str()); break;
    case 1: XMLaddSiblingElementBeforeMe(h, in.text().c_str()); break;
    case 2: { std::string name = in.text(); XMLchangeOrAddAttribute(h, name.c_str(), in.text().c_str()); break; }
    case 3: XMLchangeOrAddText(h, in.text().c_str()); break;
    case 4: XMLappendText(h, in.text().c_str()); break;
    case 5: XMLchangeElement(h, in.text().c_str()); break;
    case 6: XMLgotoChildElementWithNum(h, in.byte() % 8); break;
    case 7: XMLremoveElement(h); break;
    default:
        if (XMLgetDepth(h) > 1)  // at the top the step only prints its complaint
            XMLchangeElementBack(h);
        break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    static const std::string first = folder + "/build_fuzz_a_" + std::to_string(getpid()) + ".xml";
    static const std::string second = folder + "/build_fuzz_b_" + std::to_string(getpid()) + ".xml";
    Bytes in{data, size};
    XMLParser* h = nullptr;
    if (!XMLcreateNewDoc(&h, in.text().c_str())) {
        XMLclose(&h);
        return 0;
    }
    XMLchangeElement(&h, "/#1#");
    for (int op = in.byte(); op >= 0; op = in.byte())
        step(&h, in, op);
    int saved = XMLsave(&h, first.c_str());
    XMLclose(&h);
    if (!saved)
        return 0;
    std::string texts[2];
    for (std::string& text : texts) {
        XMLParser* back = nullptr;
        if (!XMLopen(&back, first.c_str()) || !XMLsave(&back, second.c_str()))
            abort();
        XMLclose(&back);
        text = file_text(second);
        rename(second.c_str(), first.c_str());
    }
    if (texts[0] != texts[1])
        abort();
    unlink(first.c_str());
    return 0;
}
