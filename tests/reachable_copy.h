// Copies of programs where every user can reach them, for tests that run a
// program as another user while the build lies in a folder only its owner
// may enter (a clone under /root, or in a folder made by mktemp -d).
#ifndef TESTS_REACHABLE_COPY_H
#define TESTS_REACHABLE_COPY_H

#include <string>

// Copies program into folder (a scratch folder that the caller removes),
// opens the folder to every user (mode 0755) and returns the copy's path; an
// empty string, with the reason in *why, when a folder above it is closed to
// other users or the copy fails.
std::string reachable_copy(const std::string& program, const std::string& folder,
                           std::string* why);

#endif
