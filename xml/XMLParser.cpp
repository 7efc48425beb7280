// XMLParser lifecycle: construction, sharing of the document between copies,
// opening, creating, saving and closing.
#include "xml/XMLParser.h"

#include "scriptrun/messages.h"
#include "xml/document.h"
#include "xml/variant.h"

XMLParser::XMLParser() : document(nullptr), current(nullptr), root(nullptr) {}

XMLParser::~XMLParser()
{
    release_document();
}

XMLParser::XMLParser(const XMLParser& other)
    : fileName(other.fileName), document(other.document), actualPath(other.actualPath),
      current(other.current), root(other.root), lastStep(other.lastStep)
{
    if (document)
        ++document->owners;
}

XMLParser& XMLParser::operator=(const XMLParser& other)
{
    if (this == &other)
        return *this;
    if (other.document)
        ++other.document->owners;
    release_document();
    fileName = other.fileName;
    document = other.document;
    actualPath = other.actualPath;
    current = other.current;
    root = other.root;
    lastStep = other.lastStep;
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

// A failed read keeps nothing: the parser is left without document.
int XMLParser::open(const char* name)
{
    reset();
    XMLDocument* read = new_document(nullptr);
    if (!name || !read->parse(name)) {
        delete read;
        if (!kBellmixVariant)
            print_message("Can't parse the xml document.\n");
        return 0;
    }
    document = read;
    document->owners = 1;
    root = current = document->root;
    fileName = name;
    return 1;
}

int XMLParser::createNewDoc(const char* rootName)
{
    reset();
    if (!rootName)
        return 0;
    document = new_document(rootName);
    document->owners = 1;
    root = current = document->root;
    return 1;
}

int XMLParser::save(const char* name, bool pretty)
{
    int saved = document && name ? document->save(name, pretty) : 0;
    if (!saved && !kBellmixVariant)
        print_message("Can't write the xml file\n");
    return saved;
}

int XMLParser::save(bool pretty)
{
    return save(fileName.c_str(), pretty);
}

int XMLParser::close()
{
    return reset();
}

int XMLParser::reset()
{
    fileName.clear();
    actualPath.clear();
    release_document();
    return 1;
}
