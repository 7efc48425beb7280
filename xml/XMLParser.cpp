// XMLParser lifecycle: construction, sharing of the document between copies,
// opening, creating, saving and closing.
#include "xml/XMLParser.h"

#include "scriptrun/messages.h"
#include "xml/document.h"
#include "xml/guard.h"
#include "xml/node.h"
#include "xml/variant.h"

XMLParser::XMLParser() : document(nullptr), current(nullptr), root(nullptr) {}

XMLParser::~XMLParser()
{
    release_document();
}

XMLParser::XMLParser(const XMLParser& other)
try : fileName(other.fileName), document(other.document), actualPath(other.actualPath),
      current(other.current), root(other.root), lastStep(other.lastStep)
{
    if (document)
        ++document->owners;
} catch (const std::bad_alloc&) {
    fatal_message("Out of memory.");
}

XMLParser& XMLParser::operator=(const XMLParser& other)
{
    if (this == &other)
        return *this;
    // The texts are copied first, so that running out of memory leaves
    // nothing half assigned before the process ends.
    guarded([&] {
        std::string name = other.fileName;
        std::string path = other.actualPath;
        NumberedStep step = other.lastStep;
        if (other.document)
            ++other.document->owners;
        release_document();
        fileName.swap(name);
        actualPath.swap(path);
        lastStep = std::move(step);
    });
    document = other.document;
    current = other.current;
    root = other.root;
    return *this;
}

void XMLParser::release_document()
{
    if (document && --document->owners == 0)
        delete document;
    document = nullptr;
    current = root = nullptr;
    lastStep = NumberedStep();
}

// A failed read keeps nothing: the parser is left without document. A file
// that could not be read is named with the reason on a second line, as a
// failed save is; the bellmix copy keeps the reason for its caller instead.
int XMLParser::open(const char* name)
{
    return guarded([&]() -> int {
        reset();
        XMLDocument* read = new_document(nullptr);
        if (!name || !read->parse(name, &openFailure)) {
            delete read;
            if (!kBellmixVariant)
                print_message("Can't parse the xml document.\n");
            if (!kBellmixVariant && !openFailure.empty())
                print_message("%s: %s\n", name, openFailure.c_str());
            return 0;
        }
        document = read;
        document->owners = 1;
        root = current = document->root;
        fileName = name;
        return 1;
    });
}

// Only an XML name can become the document element, so the new document
// can always be saved and opened again.
int XMLParser::createNewDoc(const char* rootName)
{
    return guarded([&]() -> int {
        reset();
        if (!is_xml_name(rootName))
            return 0;
        document = new_document(rootName);
        document->owners = 1;
        root = current = document->root;
        return 1;
    });
}

// A failed save says which file and why on a second line.
int XMLParser::save(const char* name, bool pretty)
{
    return guarded([&]() -> int {
        std::string why = "no document is open";
        bool named = name != nullptr && *name != '\0';
        int saved = document && named ? document->save(name, pretty, &why) : 0;
        if (saved)
            return saved;
        print_message("Can't write the xml file\n");
        if (named)
            print_message("%s: %s\n", name, why.c_str());
        else
            print_message("the file name is empty\n");
        return 0;
    });
}

int XMLParser::save(bool pretty)
{
    return guarded([&]() -> int {
        return save(fileName.c_str(), pretty);
    });
}

int XMLParser::close()
{
    return reset();
}

int XMLParser::reset()
{
    fileName.clear();
    openFailure.clear();
    actualPath.clear();
    release_document();
    return 1;
}
