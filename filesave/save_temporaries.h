// The temporary files of a save, registered so that a signal that ends the
// process (SIGINT, SIGTERM, SIGHUP and the like) removes them first.
#ifndef FILESAVE_SAVE_TEMPORARIES_H
#define FILESAVE_SAVE_TEMPORARIES_H

#include <csignal>
#include <cstddef>
#include <string>

namespace file_saving {

// The signals a save cleans up after: those whose default ends the process
// and that come from outside it (a user, a closed terminal, a timer or a
// limit), not from a fault of the program itself.
constexpr int kEndingSignals[] = {SIGHUP,  SIGINT,  SIGQUIT,   SIGTERM, SIGALRM, SIGUSR1,
                                  SIGUSR2, SIGPIPE, SIGVTALRM, SIGPROF, SIGXCPU};
constexpr size_t kEndingSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];

// The temporary files of one save. While a record lives, each ending signal
// whose action was the default one has a handler that unlinks every
// registered file, restores the default action and raises the signal again;
// the previous actions come back when the record ends. One record at a time.
class Temporaries {
public:
    explicit Temporaries(size_t count);  // slots 0 to count - 1
    ~Temporaries();
    Temporaries(const Temporaries&) = delete;
    Temporaries& operator=(const Temporaries&) = delete;

    // Makes a new empty file ".<name>.saving.XXXXXX" (name cut to fit a
    // file name) in folder, registered in slot; its descriptor and in *made
    // its name, or -1 with errno.
    int make(size_t slot, int folder, const std::string& name, std::string* made);
    // The file of slot is gone (renamed or removed) and no longer registered.
    void forget(size_t slot);
    // Removes the file of slot, if any, and forgets it.
    void remove(size_t slot);

    // Holds the ending signals back until resume(), so that writes which
    // must not stop half-way (in place, or the renames of several files)
    // finish.
    void hold();
    void resume();

private:
    struct sigaction previous_[kEndingSignalCount];  // their actions before
    bool replaced_[kEndingSignalCount] = {};         // which got the handler
    sigset_t held_;                 // the signal mask before hold()
    bool holding_ = false;          // hold() is in force
};

// Gives the file name in folder a second name ".<name>.saving.XXXXXX" beside
// it (a hard link, not registered for removal): true with *made its name,
// or false with errno.
bool link_beside(int folder, const std::string& name, std::string* made);

}  // namespace file_saving

#endif
