// The document a training call builds: kept or new, with the history and
// settings items appended on every call (texts of any length).
#include "plugins/bellmix/model_file.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "plugins/bellmix/mixture_model.h"
#include "scriptrun/messages.h"
#include "filesave/filesave.h"

namespace {

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string formatted(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    char small[256];
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(small, sizeof small, format, args);
    std::string text;
    if (length >= 0 && static_cast<size_t>(length) < sizeof small) {
        text = small;
    } else if (length >= 0) {
        text.assign(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(&text[0], text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    va_end(args);
    return text;
}

// The local time as ctime gives it, cut to its first 24 characters.
std::string local_time_text()
{
    std::time_t now = std::time(nullptr);
    char buffer[64];
    if (!ctime_r(&now, buffer))
        return std::string();
    return std::string(buffer).substr(0, 24);
}

// Appends an item to the element at path; its text is set only when the
// item could be added.
void add_item(XMLParser** handle, const char* path, const std::string& text,
              const std::string& appended = std::string())
{
    if (!XMLchangeElement(handle, path) || !XMLaddChildElement(handle, "item"))
        return;
    XMLchangeElementWithNumber(handle, "item", XMLgetNumofChildElements(handle));
    XMLchangeOrAddText(handle, text.c_str());
    if (!appended.empty())
        XMLappendText(handle, appended.c_str());
}

void create_document(XMLParser** handle)
{
    XMLcreateNewDoc(handle, "BELLMIX");
    XMLchangeElement(handle, "/BELLMIX");
    XMLaddChildElement(handle, "history");
    XMLaddChildElement(handle, "initial_settings");
    XMLaddChildElement(handle, "parameters");
}

}  // namespace

bool open_model_document(XMLParser** handle, const char* file, const TrainingOptions& o,
                         int features, bool* existing)
{
    *existing = o.classToTrain > 0 && XMLopen(handle, file);
    // A model that another process keeps locked is there all the same: it
    // must not be taken for a missing one and replaced by a new model.
    if (!*existing && *handle && (*handle)->open_failure() == kLockedByOther) {
        print_open_failure(handle, file);
        print_message("BELLMIX: the model file '%s' cannot be read in full; nothing is "
                      "written\n", file);
        return false;
    }
    if (!*existing) {
        XMLclose(handle);
        *handle = nullptr;
        create_document(handle);
        return true;
    }
    if (!XMLchangeElement(handle, "/BELLMIX/parameters")) {
        print_message("BELLMIX: BELLMIX/parameters element not found!\n");
        print_message("BELLMIX: the model file '%s' cannot be read in full; nothing is "
                      "written\n", file);
        return false;
    }
    return kept_mixtures_fit(handle, file, o.classToTrain, features);
}

void add_training_items(XMLParser** handle, bool existing, const char* file,
                        const TrainingOptions& o, int rows, int features)
{
    print_message(existing ? "Writing to an existing XML file\n\n" : "Creating new XML file\n\n");
    const char* history = "/BELLMIX/history";
    add_item(handle, history, "creation time: ", local_time_text());
    add_item(handle, history, formatted("XML output file: '%s'", file));
    add_item(handle, history, formatted("rows in original database: %d", rows));
    add_item(handle, history, formatted("columns in original database: %d", features));
    const char* settings = "/BELLMIX/initial_settings";
    add_item(handle, settings, formatted("Number of Gaussians per class = %d", o.numOfMix));
    add_item(handle, settings,
             formatted("Diagonal Covariance Matrices = %s", o.diagonal ? "YES" : "NO"));
    add_item(handle, settings, formatted("Number of K-Means starts = %d", o.kmeansStarts));
    add_item(handle, settings, formatted("Max No. of K-Means iterations: %d", o.kmeansMaxIt));
    add_item(handle, settings, formatted("Max No. of EM iterations: %d", o.emMaxIt));
    add_item(handle, settings, formatted("EM stopping threshold: %f", o.epsilon));
}
