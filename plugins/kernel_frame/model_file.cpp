// Writing the kernel model file and extending its history.
#include "plugins/kernel_frame/model_file.h"

#include <cstring>
#include <ctime>

#include "xml/xml_functions.h"

std::string time_text()
{
    time_t now = time(nullptr);
    char buffer[64];
    if (ctime_r(&now, buffer) == nullptr)
        return std::string();
    buffer[strcspn(buffer, "\n")] = '\0';
    return buffer;
}

namespace {

// Adds the number-th "item" child (counted from 1) to the element at path;
// the text goes in only when the child could be added.
void add_item(XMLParser** handle, const std::string& path, int number, const std::string& text,
              bool stamped)
{
    XMLchangeElement(handle, path.c_str());
    if (!XMLaddChildElement(handle, "item"))
        return;
    XMLchangeElementWithNumber(handle, "item", number);
    XMLchangeOrAddText(handle, text.c_str());
    if (stamped)
        XMLappendText(handle, time_text().c_str());
}

void add_history(XMLParser** handle, const std::string& top, const char* file,
                 const TrainingSet& set)
{
    std::string path = top + "/history";
    add_item(handle, path, 1, "creation time: ", true);
    add_item(handle, path, 2, std::string("XML output file: '") + file + "'", false);
    add_item(handle, path, 3, format_text("rows in original database: %d", set.n), false);
    add_item(handle, path, 4, format_text("columns in original database: %d", set.d), false);
}

void add_settings(XMLParser** handle, const std::string& top, const KernelSettings& s,
                  const KernelModel& model)
{
    std::string path = top + "/initial_settings";
    int number = 0;
    add_item(handle, path, ++number, format_text("cachesize: %d", s.cache_size), false);
    add_item(handle, path, ++number, format_text("kernel type: %d", s.kernel), false);
    for (int k = 1; k <= 5; ++k)
        add_item(handle, path, ++number, format_text("kernel parameter %d: %f", k, s.param[k - 1]),
                 false);
    add_item(handle, path, ++number,
             format_text("remaining feature number: %d", model.coefficients->cols), false);
    for (const std::string& text : model.settings)
        add_item(handle, path, ++number, text, false);
}

// Moves to "<top>/parameters", adds the named child and moves to it; false
// when the child could not be added.
bool add_parameter(XMLParser** handle, const std::string& top, const std::string& name)
{
    XMLchangeElement(handle, (top + "/parameters").c_str());
    if (!XMLaddChildElement(handle, name.c_str()))
        return false;
    return XMLchangeElement(handle, name.c_str()) != 0;
}

void add_int_parameter(XMLParser** handle, const std::string& top, const char* name, int value)
{
    if (add_parameter(handle, top, name))
        XMLchangeOrAddIntAttribute(handle, "value", value);
}

void add_rows(XMLParser** handle, const std::string& top, const char* stem, const DataMatrix* m)
{
    for (int i = 0; i < m->rows; ++i)
        if (add_parameter(handle, top, format_text("%s_%d", stem, i)))
            XMLchangeOrAddDoubleArrayAttribute(handle, "value", matrix_row(m, i), m->cols, ",");
}

void add_parameters(XMLParser** handle, const std::string& top, const TrainingSet& set,
                    const KernelSettings& s, const KernelModel& model, const char* stem)
{
    add_int_parameter(handle, top, "row", set.n);
    add_int_parameter(handle, top, "column", set.d);
    add_int_parameter(handle, top, "newcolumn", model.coefficients->cols);
    add_int_parameter(handle, top, "kernel", s.kernel);
    for (int k = 0; k < 5; ++k)
        if (add_parameter(handle, top, format_text("kernel_param%d", k)))
            XMLchangeOrAddDoubleAttribute(handle, "value", s.param[k]);
    add_rows(handle, top, "X", set.x.get());
    add_rows(handle, top, stem, model.coefficients.get());
}

}  // namespace

void write_kernel_model(const KernelTexts& texts, const char* file, const TrainingSet& set,
                        const KernelSettings& settings, const KernelModel& model)
{
    XMLParser* handle = nullptr;
    std::string top = std::string("/") + texts.root;
    XMLcreateNewDoc(&handle, texts.root);
    XMLchangeElement(&handle, top.c_str());
    XMLaddChildElement(&handle, "history");
    XMLaddChildElement(&handle, "initial_settings");
    XMLaddChildElement(&handle, "parameters");
    add_history(&handle, top, file, set);
    add_settings(&handle, top, settings, model);
    add_parameters(&handle, top, set, settings, model, texts.coefficients);
    XMLsave(&handle, file);
    XMLclose(&handle);
}

void append_execution_item(XMLParser** handle, const char* root, const char* file)
{
    std::string path = std::string("/") + root + "/history";
    if (XMLchangeElement(handle, path.c_str()) && XMLaddChildElement(handle, "item")) {
        XMLgotoChildElementWithNum(handle, XMLgetNumofChildElements(handle));
        XMLchangeOrAddText(handle, "executing at ");
        XMLappendText(handle, time_text().c_str());
    }
    XMLsave(handle, file);
}
