// History and settings items of the model file, appended on every training
// call (texts of any length), and the working copy that training saves to.
#include "plugins/bellmix/model_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <unistd.h>

#include "scriptrun/messages.h"
#include "xml/file_access.h"
#include "xml/xml_functions.h"

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

void open_or_create(XMLParser** handle, const char* file, int classToTrain)
{
    if (XMLopen(handle, file) && classToTrain > 0) {
        print_message("Writing to an existing XML file\n\n");
        return;
    }
    XMLclose(handle);
    XMLcreateNewDoc(handle, "BELLMIX");
    print_message("Creating new XML file\n\n");
    XMLchangeElement(handle, "/BELLMIX");
    XMLaddChildElement(handle, "history");
    XMLaddChildElement(handle, "initial_settings");
    XMLaddChildElement(handle, "parameters");
}

}  // namespace

int prepare_model_file(const char* file, const char* saveTo, const TrainingOptions& o, int rows,
                       int features)
{
    XMLParser* handle = nullptr;
    open_or_create(&handle, file, o.classToTrain);
    const char* history = "/BELLMIX/history";
    add_item(&handle, history, "creation time: ", local_time_text());
    add_item(&handle, history, formatted("XML output file: '%s'", file));
    add_item(&handle, history, formatted("rows in original database: %d", rows));
    add_item(&handle, history, formatted("columns in original database: %d", features));
    const char* settings = "/BELLMIX/initial_settings";
    add_item(&handle, settings, formatted("Number of Gaussians per class = %d", o.numOfMix));
    add_item(&handle, settings,
             formatted("Diagonal Covariance Matrices = %s", o.diagonal ? "YES" : "NO"));
    add_item(&handle, settings, formatted("Number of K-Means starts = %d", o.kmeansStarts));
    add_item(&handle, settings, formatted("Max No. of K-Means iterations: %d", o.kmeansMaxIt));
    add_item(&handle, settings, formatted("Max No. of EM iterations: %d", o.emMaxIt));
    add_item(&handle, settings, formatted("EM stopping threshold: %f", o.epsilon));
    int saved = XMLsave(&handle, saveTo);
    XMLclose(&handle);
    return saved;
}

WorkingCopy::WorkingCopy(const char* file) : file_(file), path_(file)
{
    size_t slash = file_.rfind('/');
    std::string copy = (slash == std::string::npos ? "" : file_.substr(0, slash + 1)) +
                       ".bellmix-training.XXXXXX";
    int fd = mkostemp(&copy[0], O_CLOEXEC);
    if (fd >= 0) {
        close(fd);
        path_ = copy;
    }
}

WorkingCopy::~WorkingCopy()
{
    if (path_ != file_)
        unlink(path_.c_str());
}

bool WorkingCopy::commit()
{
    if (path_ == file_)
        return true;
    std::string refusal, text;
    int fd = open_regular_file(path_.c_str(), &refusal);
    bool read = fd >= 0;
    char chunk[65536];
    for (ssize_t n; read && (n = ::read(fd, chunk, sizeof chunk)) != 0;) {
        if (n < 0 && errno == EINTR)
            continue;
        read = n > 0;
        if (read)
            text.append(chunk, static_cast<size_t>(n));
    }
    std::string why = read ? "" : strerror(errno);
    if (fd >= 0)
        close(fd);
    size_t failed = 0;
    if (read && replace_files({{file_, text}}, &failed, &why))
        return true;
    print_message("BELLMIX: the model file '%s' could not be written: %s\n", file_.c_str(),
                  why.c_str());
    return false;
}
