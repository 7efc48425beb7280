// The registry of a save's temporary files that the handler of the ending
// signals reads, their random names, and the holding back of those signals.
#include "filesave/save_temporaries.h"

#include <cerrno>
#include <climits>
#include <ctime>
#include <fcntl.h>
#include <sys/random.h>
#include <unistd.h>

namespace file_saving {
namespace {

// One registered temporary file.
struct Registered {
    int folder;               // the folder it is in
    char name[NAME_MAX + 1];  // its name there; empty: none
};

Registered* g_slots = nullptr;          // the files of the save in progress
volatile sig_atomic_t g_slotCount = 0;  // the slots the handler may read

// Room for the target's name in ".<name>.saving.XXXXXX".
const size_t kNameRoom = NAME_MAX - 15;

void remove_temporaries_and_end(int signal)
{
    for (sig_atomic_t i = 0; i < g_slotCount; ++i)
        if (g_slots[i].name[0] != '\0')
            unlinkat(g_slots[i].folder, g_slots[i].name, 0);
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigaction(signal, &standard, nullptr);
    // Still blocked inside the handler: the signal ends the process as soon
    // as the handler returns.
    raise(signal);
}

sigset_t interrupt_signals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : kEndingSignals)
        sigaddset(&set, s);
    return set;
}

void block_interrupts(sigset_t* before)
{
    sigset_t set = interrupt_signals();
    sigprocmask(SIG_BLOCK, &set, before);
}

// Six letters or digits, from the kernel's random source or, failing that,
// from the clock, the process and a counter.
std::string random_suffix()
{
    static const char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char bytes[6];
    if (getrandom(bytes, sizeof bytes, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof bytes)) {
        static unsigned long long counter = 0;
        struct timespec now = {};
        clock_gettime(CLOCK_MONOTONIC, &now);
        unsigned long long state = static_cast<unsigned long long>(now.tv_nsec) ^
                                   (static_cast<unsigned long long>(getpid()) << 32) ^ ++counter;
        for (unsigned char& b : bytes) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            b = static_cast<unsigned char>(state >> 56);
        }
    }
    std::string suffix;
    for (unsigned char b : bytes)
        suffix += kLetters[b % (sizeof kLetters - 1)];
    return suffix;
}

// The name of a file beside name but its six random letters.
std::string stem_beside(const std::string& name)
{
    return "." + name.substr(0, kNameRoom) + ".saving.";
}

}  // namespace

bool link_beside(int folder, const std::string& name, std::string* made)
{
    std::string stem = stem_beside(name);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + random_suffix();
        if (linkat(folder, name.c_str(), folder, candidate.c_str(), 0) == 0) {
            *made = candidate;
            return true;
        }
        if (errno != EEXIST)
            return false;
    }
    return false;
}

Temporaries::Temporaries(size_t count)
{
    g_slots = new Registered[count]();
    g_slotCount = static_cast<sig_atomic_t>(count);
    // A signal that was ignored stays ignored, and one that the program
    // handles itself stays its own.
    struct sigaction handler = {};
    handler.sa_handler = remove_temporaries_and_end;
    handler.sa_mask = interrupt_signals();
    for (size_t i = 0; i < kEndingSignalCount; ++i) {
        if (sigaction(kEndingSignals[i], nullptr, &previous_[i]) != 0 ||
            (previous_[i].sa_flags & SA_SIGINFO) != 0 || previous_[i].sa_handler != SIG_DFL)
            continue;
        replaced_[i] = sigaction(kEndingSignals[i], &handler, nullptr) == 0;
    }
}

Temporaries::~Temporaries()
{
    sigset_t before;
    block_interrupts(&before);
    for (sig_atomic_t i = 0; i < g_slotCount; ++i)
        remove(static_cast<size_t>(i));
    for (size_t i = 0; i < kEndingSignalCount; ++i)
        if (replaced_[i])
            sigaction(kEndingSignals[i], &previous_[i], nullptr);
    g_slotCount = 0;
    delete[] g_slots;
    g_slots = nullptr;
    sigprocmask(SIG_SETMASK, holding_ ? &held_ : &before, nullptr);
}

int Temporaries::make(size_t slot, int folder, const std::string& name, std::string* made)
{
    std::string stem = stem_beside(name);
    // A name taken already is tried again under another suffix, a bounded
    // number of times.
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = stem + random_suffix();
        sigset_t before;
        block_interrupts(&before);
        int fd = openat(folder, candidate.c_str(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        int error = errno;
        if (fd >= 0) {
            g_slots[slot].folder = folder;
            candidate.copy(g_slots[slot].name, candidate.size());
            g_slots[slot].name[candidate.size()] = '\0';
        }
        sigprocmask(SIG_SETMASK, &before, nullptr);
        if (fd >= 0) {
            *made = candidate;
            return fd;
        }
        if (error != EEXIST) {
            errno = error;
            return -1;
        }
    }
    errno = EEXIST;
    return -1;
}

void Temporaries::forget(size_t slot)
{
    g_slots[slot].name[0] = '\0';
}

void Temporaries::remove(size_t slot)
{
    if (g_slots[slot].name[0] != '\0')
        unlinkat(g_slots[slot].folder, g_slots[slot].name, 0);
    forget(slot);
}

void Temporaries::hold()
{
    if (!holding_)
        block_interrupts(&held_);
    holding_ = true;
}

void Temporaries::resume()
{
    if (holding_)
        sigprocmask(SIG_SETMASK, &held_, nullptr);
    holding_ = false;
}

}  // namespace file_saving
