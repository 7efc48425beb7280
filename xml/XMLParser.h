// XMLParser: the model-file interface every algorithm plug-in holds. A cursor
// on one element of a document, moved by a slash-separated path language,
// with queries and edits on that element, and opening and saving of files.
#ifndef XML_XMLPARSER_H
#define XML_XMLPARSER_H

#include <string>

#define XML_EXPORT __attribute__((visibility("default")))
#define XML_LOCAL __attribute__((visibility("hidden")))

struct XMLNode;
class XMLDocument;

class XML_EXPORT XMLParser {
public:
    XMLParser();
    ~XMLParser();
    // Copies share the document, which lives until its last holder lets go.
    XMLParser(const XMLParser& other);
    XMLParser& operator=(const XMLParser& other);

    int open(const char* fileName);
    int createNewDoc(const char* rootName);
    int save(const char* fileName, bool pretty);
    int save(bool pretty);
    int close();
    int reset();

    int changeElement(const char* path);
    int changeElement(const char* path, int n);
    int changeElement(const char* path, const char* attrName, const char* attrValue);
    int gotoChildElementWithNum(int n);
    int getNumofChildElements();
    int changeElementBack();
    int changeElementRoot();
    int getDepth();
    char* getActualElementName();
    char* getActualPath();
    int hasChildElement(const char* name);

    int hasAttr(const char* name, const char* value);
    int hasAttr(const char* name);
    int getAttrCount();
    void getAttrs(char** names, char** values);
    int getAttrValueSize(const char* name);
    char* getAttrValue(const char* name, char* buffer);
    int getAttrIntValue(const char* name, int defaultValue);
    double getAttrDoubleValue(const char* name, double defaultValue);
    int getAttrArraySize(const char* name, const char* separators);
    int* getAttrIntArrayValue(const char* name, int* out, const char* separators);
    double* getAttrDoubleArrayValue(const char* name, double* out, const char* separators);
    char** getAttrStringArrayValue(const char* name, char** out, const char* separators);
    int hasText();
    int getTextSize();
    char* getText(char* buffer);

    int addChildElement(const char* name);
    int addSiblingElementBeforeMe(const char* name);
    int changeOrAddAttribute(const char* name, const char* value);
    int changeOrAddIntAttribute(const char* name, int value);
    int changeOrAddDoubleAttribute(const char* name, double value);
    int changeOrAddIntArrayAttribute(const char* name, const int* values, int count,
                                     const char* separator);
    int changeOrAddDoubleArrayAttribute(const char* name, const double* values, int count,
                                        const char* separator);
    int changeOrAddText(const char* text);
    int appendText(const char* text);
    int appendIndentText();
    int removeElement();
    int removeElement(const char* path);
    int removeElement(const char* path, int n);
    int removeElement(const char* path, const char* attrName, const char* attrValue);
    int removeAttribute(const char* name);
    int removeText();

    // Why the last open could not read its file; "" when it read it, or
    // when the file is no complete document.
    XML_LOCAL const std::string& open_failure() const { return openFailure; }

private:
    // Where the last numbered step landed, so that walking numbered children
    // in order resumes there instead of counting from the first child.
    struct NumberedStep {
        const XMLNode* parent = nullptr;  // element whose children were counted
        unsigned long long order = 0;     // its childOrder stamp at that time
        bool anyName = false;             // every child element was counted
        std::string name;                 // else only those of this name
        int number = 0;                   // position of node among the counted
        XMLNode* node = nullptr;          // the number-th counted child
    };

    std::string fileName;    // file that save with only the pretty flag writes
    XMLDocument* document;   // shared with copies (counted); null without document
    std::string actualPath;  // path text of the current element, "" at the top
    XMLNode* current;        // the cursor; null without document
    XMLNode* root;           // the document's "__ROOT" node
    NumberedStep lastStep;   // see NumberedStep
    std::string openFailure; // see open_failure

    int gotoChildElement(const char* name);
    int gotoChildElementWithID(const char* id);
    int gotoSameElementWithNumber(int n);
    int gotoSameElementWithAttribute(const char* attrName, const char* attrValue);

    XML_LOCAL void release_document();
    XML_LOCAL void move_down(XMLNode* child, const std::string& segment);
    XML_LOCAL int walk_segment(const std::string& segment);
    XML_LOCAL int leave_for_parent(std::string& name);
    XML_LOCAL XMLNode* nth_child_element(XMLNode* parent, const char* name, int n);
    XML_LOCAL XMLNode* attribute(const char* name) const;
    XML_LOCAL XMLNode* first_text() const;
    XML_LOCAL int remove_reached(int reached, XMLNode* savedNode, const std::string& savedPath);
};

#endif
