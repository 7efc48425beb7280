// Writing the linear discriminant model file and extending its history.
#include "plugins/discriminant_common/model_file.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "xml/xml_functions.h"

std::string format_text(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        vsnprintf(&text[0], text.size(), format, args);
        text.resize(static_cast<size_t>(length));
    }
    va_end(args);
    return text;
}

// The C library's fixed layout, "Www Mmm dd hh:mm:ss yyyy", with English
// names whatever the locale.
std::string current_time_text()
{
    static const char* const days[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    time_t now = time(nullptr);
    struct tm t;
    if (localtime_r(&now, &t) == nullptr)
        return std::string();
    return format_text("%.3s %.3s%3d %.2d:%.2d:%.2d %d", days[t.tm_wday % 7],
                       months[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                       1900 + t.tm_year);
}

namespace {

// Adds an "item" child to the element at path and gives it text (and the
// current time when stamped).
void add_item(XMLParser** handle, const std::string& path, const std::string& text,
              bool stamped)
{
    XMLchangeElement(handle, path.c_str());
    XMLaddChildElement(handle, "item");
    XMLgotoChildElementWithNum(handle, XMLgetNumofChildElements(handle));
    XMLchangeOrAddText(handle, text.c_str());
    if (stamped)
        XMLappendText(handle, current_time_text().c_str());
}

void add_history(XMLParser** handle, const LinearModel& model, const std::string& top)
{
    std::string path = top + "/history";
    add_item(handle, path, "creation time: ", true);
    add_item(handle, path, format_text("XML output file: '%s'", model.file), false);
    add_item(handle, path, format_text("rows in original database: %d", model.rows), false);
    add_item(handle, path, format_text("columns in original database: %d", model.features),
             false);
}

void add_parameters(XMLParser** handle, const LinearModel& model, const std::string& top)
{
    std::string path = top + "/parameters";
    XMLchangeElement(handle, path.c_str());
    XMLaddChildElement(handle, "feature_number");
    XMLchangeElement(handle, "feature_number");
    XMLchangeOrAddIntAttribute(handle, "value", model.features);
    XMLchangeElement(handle, path.c_str());
    XMLaddChildElement(handle, "transformation");
    XMLchangeElement(handle, "transformation");
    const DataMatrix* t = model.transformation;
    XMLchangeOrAddDoubleArrayAttribute(handle, "value", t->data, t->rows * t->cols, ",");
}

}  // namespace

bool write_linear_model(const LinearModel& model)
{
    XMLParser* handle = nullptr;
    std::string top = std::string("/") + model.root;
    XMLcreateNewDoc(&handle, model.root);
    XMLchangeElement(&handle, top.c_str());
    XMLaddChildElement(&handle, "history");
    XMLaddChildElement(&handle, "initial_settings");
    XMLaddChildElement(&handle, "parameters");
    add_history(&handle, model, top);
    for (const std::string& setting : model.settings)
        add_item(&handle, top + "/initial_settings", setting, false);
    add_parameters(&handle, model, top);
    int saved = XMLsave(&handle, model.file);
    XMLclose(&handle);
    return saved != 0;
}

void append_execution_item(XMLParser** parser, const char* root, const char* file)
{
    std::string path = std::string("/") + root + "/history";
    if (!XMLchangeElement(parser, path.c_str()))
        return;
    add_item(parser, path, "executing at ", true);
    XMLsave(parser, file);
}
