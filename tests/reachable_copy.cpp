// Copies of programs in a folder that every user can reach.
#include "tests/reachable_copy.h"

#include <filesystem>
#include <sys/stat.h>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The first folder from the root down to folder that others may not enter;
// empty when there is none.
std::string closed_folder_above(const fs::path& folder)
{
    fs::path walked;
    for (const fs::path& part : folder.parent_path()) {
        walked /= part;
        struct stat info;
        if (stat(walked.c_str(), &info) != 0 || (info.st_mode & S_IXOTH) == 0)
            return walked.string();
    }
    return "";
}

}  // namespace

std::string reachable_copy(const std::string& program, const std::string& folder,
                           std::string* why)
{
    fs::path place = fs::absolute(fs::path(folder).lexically_normal());
    if (place.filename().empty())
        place = place.parent_path();
    std::string closed = closed_folder_above(place);
    if (!closed.empty()) {
        *why = closed + " is closed to other users";
        return "";
    }
    fs::path copy = place / fs::path(program).filename();
    std::error_code error;
    fs::copy_file(program, copy, fs::copy_options::overwrite_existing, error);
    if (error || chmod(place.c_str(), 0755) != 0 || chmod(copy.c_str(), 0755) != 0) {
        *why = "cannot copy " + program + " to " + place.string() + ": " +
               (error ? error.message() : "its mode cannot be set");
        return "";
    }
    return copy.string();
}
