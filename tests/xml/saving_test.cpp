// What a save keeps: the old file on a full disk, with two writers and when
// a signal ends the process; its owner, group, mode and attributes; and the
// temporary files' names. Cases that need another user run in a child that
// drops to it, and are skipped when the tests do not run as root.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include "filesave/filesave.h"
#include "filesave/save_calls.h"
#include "nettools/net_files.h"
#include "nettools/seed_clock.h"
#include "tests/xml/xml_test_util.h"

namespace {

namespace fs = std::filesystem;

const uid_t kNobody = 65534;

// Stand-ins for the calls that claim disk space. Each write takes at most
// 100 bytes; the one numbered failingWrite (from 0) fails for want of space.
// allocate answers allocateAnswer when it is not 0. The first write raises
// raiseSignal when it is not 0, and records the name of the file written.
struct Disk {
    int failingWrite = -1;
    int writes = 0;  // writes so far
    int allocateAnswer = 0;
    int raiseSignal = 0;
    std::string firstWritten;  // the name (no folder) of the first file written
    int failingRename = -1;    // the rename (from 0) that fails as a busy target does
    int renames = 0;           // renames so far
};
Disk g_disk;

ssize_t disk_write(int fd, const void* data, size_t size, off_t offset)
{
    if (g_disk.firstWritten.empty()) {
        char path[4096] = {};
        std::string link = "/proc/self/fd/" + std::to_string(fd);
        if (readlink(link.c_str(), path, sizeof path - 1) > 0)
            g_disk.firstWritten = fs::path(path).filename().string();
    }
    if (int s = g_disk.raiseSignal) {
        g_disk.raiseSignal = 0;
        raise(s);
    }
    if (g_disk.writes++ == g_disk.failingWrite) {
        errno = ENOSPC;
        return -1;
    }
    return pwrite(fd, data, std::min<size_t>(size, 100), offset);
}

int disk_allocate(int fd, off_t offset, off_t length)
{
    return g_disk.allocateAnswer != 0 ? g_disk.allocateAnswer
                                      : posix_fallocate(fd, offset, length);
}

int disk_rename(int fromFolder, const char* from, int toFolder, const char* to)
{
    if (g_disk.renames++ == g_disk.failingRename) {
        errno = EBUSY;
        return -1;
    }
    return renameat(fromFolder, from, toFolder, to);
}

// The stand-ins in force for the life of the record, with a fresh disk.
struct DiskHooks {
    explicit DiskHooks(const Disk& disk)
    {
        g_disk = disk;
        save_calls = {disk_write, disk_allocate, disk_rename};
    }
    ~DiskHooks() { save_calls = {pwrite, posix_fallocate, renameat}; }
};

// What a save of a model whose one attribute holds length letters writes.
std::string model_text(size_t length, char letter = 'n')
{
    return "<NEW\n   v=\"" + std::string(length, letter) + "\"/>";
}

// Saves that model to file: 1 or 0, and in *said what was printed.
int save_model(const std::string& file, size_t length, std::string* said, char letter = 'n')
{
    Handle h;
    XMLcreateNewDoc(&h, "NEW");
    XMLchangeElement(&h, "/NEW");
    XMLchangeOrAddAttribute(&h, "v", std::string(length, letter).c_str());
    testing::internal::CaptureStderr();
    int saved = XMLsave(&h, file.c_str());
    *said = testing::internal::GetCapturedStderr();
    return saved;
}

// Becomes uid with primary group gid and the supplementary groups given.
bool become(uid_t uid, gid_t gid, const std::vector<gid_t>& groups)
{
    return setgroups(groups.size(), groups.data()) == 0 && setgid(gid) == 0 && setuid(uid) == 0;
}

// A folder where the model can only be written in place: closed to the
// user who saves (as root, "nobody" in the child; otherwise the caller),
// with the model file of that user in it holding old.
struct ClosedFolder {
    std::string folder, model;
    bool root = geteuid() == 0;

    ClosedFolder(const std::string& name, const std::string& old)
        : folder(scratch(name)), model(scratch(name) + "/model.xml")
    {
        chmod(scratch("").c_str(), 0755);
        fs::create_directories(folder);
        chmod(folder.c_str(), 0755);
        fs::remove(model);
        write_text(model, old);
        if (chown(model.c_str(), root ? kNobody : geteuid(), static_cast<gid_t>(-1)) != 0)
            ADD_FAILURE() << "chown " << model;
        chmod(folder.c_str(), 0555);
    }
    ~ClosedFolder() { chmod(folder.c_str(), 0755); }
    // In a child: drops to the saving user; false when that failed.
    bool enter() const { return !root || become(kNobody, kNobody, {}); }
    ino_t inode() const
    {
        struct stat info;
        return stat(model.c_str(), &info) == 0 ? info.st_ino : 0;
    }
};

}  // namespace

// A model that can only be written in place keeps its old bytes when the
// disk fills at any point of the write, whether the file system reserves
// space up front or the part past the old end is written first, or when a
// reader keeps it locked beyond the wait; a write that succeeds leaves
// exactly the new model.
TEST(Writer, InPlaceWriteKeepsTheFileWhenTheDiskFills)
{
    const std::string old = "<OLD v=\"" + std::string(4000, 'o') + "\"/>";
    const struct {
        const char* what;
        size_t length;       // letters in the new model's attribute
        int failingWrite;    // the write of 100 bytes that fails; -1: none
        int allocateAnswer;  // what reserving space answers; 0: the real call
        rlim_t sizeLimit;    // file-size limit; 0: none
        std::string reason;  // "" when the save succeeds
        int heldLock = 0;    // held meanwhile on another opening of the file
    } cases[] = {
        {"grows past a file-size limit", 6000, -1, 0, 5000, "File too large"},
        {"runs out of space as it overwrites", 6000, 3, 0, 0, "No space left on device"},
        {"no reservation, the tail does not fit", 6000, 0, EOPNOTSUPP, 0,
         "No space left on device"},
        // 21 writes for the 2003 bytes past the old end, then 41 for the rest.
        {"no reservation, the overwrite stops short", 6000, 25, EOPNOTSUPP, 0,
         "No space left on device"},
        {"runs out of space as it shrinks", 100, 0, 0, 0, "No space left on device"},
        {"no reservation, grows", 6000, -1, EINVAL, 0, ""},
        {"shrinks", 100, -1, 0, 0, ""},
        {"locked by a reader", 100, -1, 0, 0, "another process holds a lock on it", LOCK_SH},
    };
    for (const auto& c : cases) {
        ClosedFolder place("closed", old);
        ino_t before = place.inode();
        int fd = open(place.model.c_str(), O_RDONLY | O_CLOEXEC);
        flock(fd, c.heldLock ? c.heldLock : LOCK_UN);
        int result = bounded_child([&] {
            if (!place.enter())
                return 2;
            signal(SIGXFSZ, SIG_IGN);
            struct rlimit limit = {c.sizeLimit, c.sizeLimit};
            if (c.sizeLimit > 0)
                setrlimit(RLIMIT_FSIZE, &limit);
            Disk disk;
            disk.failingWrite = c.failingWrite;
            disk.allocateAnswer = c.allocateAnswer;
            DiskHooks hooks(disk);
            std::string said;
            int saved = save_model(place.model, c.length, &said);
            std::string expected = "Can't write the xml file\n" + place.model + ": " + c.reason + "\n";
            return saved == (c.reason.empty() ? 1 : 0) && said == (c.reason.empty() ? "" : expected)
                       ? 7
                       : 1;
        });
        close(fd);
        EXPECT_EQ(result, 7) << c.what;
        EXPECT_EQ(read_text(place.model), c.reason.empty() ? model_text(c.length) : old) << c.what;
        EXPECT_EQ(place.inode(), before) << c.what;
        EXPECT_EQ(entries_of(place.folder), std::vector<std::string>{"model.xml"}) << c.what;
    }
}

// Files written in place change together: when a later one cannot be
// written, the earlier ones get their old content back. The same file named
// twice is refused rather than waited for.
TEST(Writer, InPlaceFilesChangeTogether)
{
    ClosedFolder place("together", "<OLD-A/>");
    std::string second = place.folder + "/second.xml";
    chmod(place.folder.c_str(), 0755);
    write_text(second, "<OLD-B/>");
    ASSERT_EQ(chown(second.c_str(), place.root ? kNobody : geteuid(), static_cast<gid_t>(-1)), 0);
    chmod(place.folder.c_str(), 0555);
    int result = bounded_child([&] {
        if (!place.enter())
            return 2;
        Disk disk;
        disk.failingWrite = 1;  // the first file's one write passes, the second's fails
        DiskHooks hooks(disk);
        size_t failed = 9, twice = 9;
        std::string why, whyTwice;
        bool pair = replace_files({{place.model, "a"}, {second, "b"}}, &failed, &why);
        bool same = replace_files({{place.model, "a"}, {place.model, "b"}}, &twice, &whyTwice);
        return !pair && failed == 1 && why == "No space left on device" && !same && twice == 1 &&
                       whyTwice == "the same file is named twice"
                   ? 7
                   : 1;
    });
    chmod(place.folder.c_str(), 0755);
    EXPECT_EQ(result, 7);
    EXPECT_EQ(read_text(place.model), "<OLD-A/>");
    EXPECT_EQ(read_text(second), "<OLD-B/>");
}

// A pair is saved all or none: when the second rename fails, the first
// target gets its old file back (a new one goes again), and two outputs
// that are one file are refused on either path. A mount point, which no
// rename can replace, is written in place (that row needs root).
TEST(Writer, PairIsSavedAllOrNone)
{
    enum Second { kPlain, kSymbolicLink, kHardLink, kSameFolderTwice, kMountPoint };
    const std::string busy = "Device or resource busy", twice = "the same file is named twice";
    const struct {
        const char* what;
        Second second;       // what the second output is
        bool firstExists;    // the first output is there before the save
        int failingRename;   // -1: none
        std::string why;     // "" when the pair is saved
    } cases[] = {
        {"the second rename fails", kPlain, true, 1, busy},
        {"the second rename fails after a new first file", kPlain, false, 1, busy},
        {"the second a symbolic link to the first", kSymbolicLink, true, -1, twice},
        {"the second a hard link of the first", kHardLink, true, -1, twice},
        {"the first named again through its folder", kSameFolderTwice, false, -1, twice},
        {"the second a mount point", kMountPoint, true, -1, ""},
    };
    std::string folder = scratch("pairs"), first = folder + "/first", source = folder + "/source";
    bool skipped = false;
    for (const auto& c : cases) {
        fs::remove_all(folder);
        fs::create_directories(folder);
        std::string second = folder + (c.second == kSameFolderTwice ? "/../pairs/first" : "/2nd");
        if (c.firstExists)
            write_text(first, "<OLD-A/>");
        if (c.second == kSymbolicLink)
            fs::create_symlink("first", second);
        else if (c.second == kHardLink)
            fs::create_hard_link(first, second);
        else if (c.second != kSameFolderTwice)
            write_text(second, "<OLD-B/>");
        write_text(source, "<OLD-S/>");  // mounted over second in the mount point row
        ino_t before = inode_of(first);
        int result = bounded_child([&] {
            if (c.second == kMountPoint &&
                (unshare(CLONE_NEWNS) != 0 ||
                 mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                 mount(source.c_str(), second.c_str(), nullptr, MS_BIND, nullptr) != 0))
                return 3;
            Disk disk;
            disk.failingRename = c.failingRename;
            DiskHooks hooks(disk);
            size_t failed = 9;
            std::string why;
            bool saved = replace_files({{first, "a"}, {second, "b"}}, &failed, &why);
            return saved == c.why.empty() && why == c.why && (saved || failed == 1) ? 7 : 1;
        });
        if (result == 3) {
            skipped = true;
            continue;
        }
        EXPECT_EQ(result, 7) << c.what;
        // Saved, or the old first file itself (or none) as before.
        EXPECT_EQ(read_text(first), c.why.empty() ? "a" : before ? "<OLD-A/>" : "") << c.what;
        EXPECT_TRUE(c.why.empty() || inode_of(first) == before) << c.what;
        if (c.second == kPlain || c.second == kMountPoint) {
            EXPECT_EQ(read_text(second), "<OLD-B/>") << c.what;
        }
        EXPECT_EQ(read_text(source), c.second == kMountPoint ? "b" : "<OLD-S/>") << c.what;
        for (const std::string& name : entries_of(folder))
            EXPECT_NE(name[0], '.') << c.what;
    }
    if (skipped)
        GTEST_SKIP() << "the mount point row needs root";
}

namespace {

// The whole files of two writers: a model whose one attribute holds 3000
// letters "a" or 50 letters "b", or the weights of two networks of one shape
// (20 inputs, 400 hidden units, 2 outputs: about 80000 bytes) from seeds 1
// and 2, as nettrain saves them and nettest reads them.
struct SharedFile {
    bool weights;          // a network's weights, else a model
    std::string texts[2];  // writer 0's and writer 1's
};

SharedFile shared_file(bool weights)
{
    SharedFile shared{weights, {model_text(3000, 'a'), model_text(50, 'b')}};
    static unsigned seed = 0;
    set_seed_clock([]() -> unsigned { return ++seed; });
    for (int w = 0; weights && w < 2; ++w) {
        NetGraph* net = net_create(20, 400, 2, UNIT_SIGMOID);
        shared.texts[w] = net_weights_text(net, true);
        net_destroy(net);
        delete net;
    }
    set_seed_clock(nullptr);
    return shared;
}

// Reads file as a network's weights or as a model: what the reader printed;
// in *read the weights written out again, or the model's attribute length.
std::string read_back(bool weights, const std::string& file, std::string* read)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    NetGraph net;
    Handle h;
    if (weights && net_read(&net, file) > 0) {
        *read = net_weights_text(&net, true);
        net_destroy(&net);
    } else if (!weights && XMLopen(&h, file.c_str()) && XMLchangeElement(&h, "/NEW")) {
        *read = std::to_string(XMLgetAttrValueSize(&h, "v"));
    }
    std::string said = testing::internal::GetCapturedStderr();
    return said + testing::internal::GetCapturedStdout();
}

// Two writers save the file named name over and over, and a reader reads it.
void race_two_writers(const SharedFile& shared, const std::string& name)
{
    SCOPED_TRACE(name);
    std::string folder = scratch("two_writers_" + name), model = folder + "/" + name;
    chmod(scratch("").c_str(), 0755);
    fs::create_directories(folder);
    chmod(folder.c_str(), 01777);
    write_text(model, shared.texts[0]);
    chmod(model.c_str(), 0666);
    auto start = [&](const std::function<int()>& body) {
        pid_t child = fork();
        if (child == 0) {
            alarm(60);
            _exit(become(kNobody, kNobody, {}) ? body() : 2);
        }
        return child;
    };
    std::vector<pid_t> writers;
    for (int w = 0; w < 2; ++w)
        writers.push_back(start([&, w] {
            std::string said;
            size_t failed = 0;
            int failures = 0;
            for (int round = 0; round < 300; ++round)
                failures += shared.weights
                                ? !replace_files({{model, shared.texts[w]}}, &failed, &said)
                                : save_model(model, w ? 50 : 3000, &said, w ? 'b' : 'a') != 1;
            return failures == 0 ? 7 : 1;
        }));
    // The reader reads until the writers are done, which the end of a pipe
    // tells it, and at most a bounded number of times.
    int done[2];
    ASSERT_EQ(pipe(done), 0);
    pid_t reader = start([&] {
        close(done[1]);
        fcntl(done[0], F_SETFL, O_NONBLOCK);
        char byte;
        for (int round = 0; round < 100000 && read(done[0], &byte, 1) < 0; ++round) {
            std::string found;
            read_back(shared.weights, model, &found);
            const std::string whole[] = {shared.weights ? shared.texts[0] : "3000",
                                         shared.weights ? shared.texts[1] : "50"};
            if (found != whole[0] && found != whole[1])
                return 1;
        }
        return 7;
    });
    close(done[0]);
    for (pid_t child : writers) {
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << status;
    }
    close(done[1]);
    int status = 0;
    waitpid(reader, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << "reader " << status;
    std::string last = read_text(model);
    EXPECT_TRUE(last == shared.texts[0] || last == shared.texts[1]) << last.size();
    EXPECT_EQ(entries_of(folder), std::vector<std::string>{name});
}

// A handler of the program's own, which a save must leave in place.
volatile sig_atomic_t g_seen = 0;
void note_signal(int signal)
{
    g_seen = signal;
}

}  // namespace

// Two users' saves of one file in place never mix: each holds the file
// locked for its whole write, and a reader meanwhile only ever reads one of
// the two whole files (run as "nobody" over a writable file of root's in a
// folder with the sticky bit), be it a model or a network's weights.
TEST(Writer, TwoInPlaceWritersNeverTearTheFile)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    race_two_writers(shared_file(false), "model.xml");
    race_two_writers(shared_file(true), "s.wts");
}

// A reader waits a bounded time for a save's lock on a model or weights
// file, then refuses the file, naming it and why; readers share a file.
TEST(Writer, FileLockedByASaveIsRefusedAfterAWait)
{
    const std::string file = scratch("locked_file"), held = ": another process holds a lock on it";
    const struct {
        const char* what;
        int lock;          // held on another opening of the file
        bool weights;      // read as a network's weights, else as a model
        std::string said;  // "" when it is read
    } cases[] = {
        {"a model read during a save", LOCK_EX, false,
         "Can't parse the xml document.\n" + file + held + "\n"},
        {"a model read during another read", LOCK_SH, false, ""},
        {"a weights read during a save", LOCK_EX, true,
         "Error in weightsfile " + file + held + "!\n"},
    };
    for (const auto& c : cases) {
        write_text(file, c.weights ? "2\n2\n3\n5\n3\n1\n1\n0\n1.0 -1.0 2.0 -2.0 1.0 \n0.0 0.0 0.0 "
                                   : "<OLD/>");
        int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_EQ(flock(fd, c.lock), 0) << c.what;
        int result = bounded_child([&] {
            std::string read;
            return read_back(c.weights, file, &read) == c.said ? 7 : 1;
        });
        close(fd);
        EXPECT_EQ(result, 7) << c.what;
    }
}

// A signal that ends the process, arriving in the middle of a save, ends it
// as the signal would, without a temporary file left behind; during an
// in-place write it waits until the file is whole. A signal that was
// ignored stays ignored, one the program handles stays its own.
TEST(Writer, InterruptedSaveLeavesNoTemporaryFile)
{
    const struct {
        const char* what;
        int signal;
        bool ignored;        // the signal was ignored before the save
        bool inPlace;        // the model can only be written in place
        bool fresh;          // no model exists before the save
        int endedBy;         // the signal that ended the child; 0: it ended normally
        bool newContent;     // the model afterwards is the new one
        bool handled = false;  // the program has a handler of its own for it
    } cases[] = {
        {"SIGTERM while the new model is written beside the old", SIGTERM, false, false, false,
         SIGTERM, false},
        {"SIGINT while a new model is written", SIGINT, false, false, true, SIGINT, false},
        {"SIGTERM ignored", SIGTERM, true, false, false, 0, true},
        {"SIGTERM during an in-place write", SIGTERM, false, true, false, SIGTERM, true},
        {"SIGHUP beside the old model", SIGHUP, false, false, false, SIGHUP, false},
        {"SIGQUIT in place", SIGQUIT, false, true, false, SIGQUIT, true},
        {"SIGUSR1 writing a new model", SIGUSR1, false, false, true, SIGUSR1, false},
        {"SIGALRM in place", SIGALRM, false, true, false, SIGALRM, true},
        {"SIGHUP handled", SIGHUP, false, false, false, 0, true, true},
    };
    const std::string old = "<OLD/>";
    for (const auto& c : cases) {
        ClosedFolder place("interrupted", old);
        if (!c.inPlace)
            chmod(place.folder.c_str(), 0755);
        if (c.fresh)
            fs::remove(place.model);
        int status = bounded_child_status([&] {
            if (c.inPlace && !place.enter())
                return 2;
            struct rlimit noCore = {0, 0};
            setrlimit(RLIMIT_CORE, &noCore);
            if (c.ignored)
                signal(c.signal, SIG_IGN);
            if (c.handled)
                signal(c.signal, note_signal);
            Disk disk;
            disk.raiseSignal = c.signal;
            DiskHooks hooks(disk);
            std::string said;
            int saved = save_model(place.model, 5000, &said);
            return saved == 1 && g_seen == (c.handled ? c.signal : 0) ? 7 : 1;
        });
        if (c.endedBy != 0)
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.endedBy) << c.what;
        else
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << c.what;
        if (c.fresh) {
            EXPECT_TRUE(entries_of(place.folder).empty()) << c.what;
            continue;
        }
        EXPECT_EQ(read_text(place.model), c.newContent ? model_text(5000) : old) << c.what;
        EXPECT_EQ(entries_of(place.folder), std::vector<std::string>{"model.xml"}) << c.what;
    }
}

// A temporary file is named after its target (".m.xml.saving.XXXXXX"), cut
// to fit a file name, and made relative to the folder, so that a target
// whose path is near the longest path still saves.
TEST(Writer, TemporaryFilesAreNamedAfterTheirTarget)
{
    std::string folder = scratch("names");
    fs::create_directories(folder);
    // A folder path of 4080 characters: neither its name plus a temporary's
    // nor the model's name fits the longest path.
    std::string deep = scratch("deep");
    while (deep.size() < 4080)
        deep += "/" + std::string(std::min<size_t>(200, 4079 - deep.size()), 'd');
    fs::create_directories(deep);
    const std::string longName(250, 'L');
    const struct {
        std::string file;
        std::string temporaryStem;  // its temporary's name but the six random
                                    // letters; "" when too long to look up
    } cases[] = {
        {folder + "/m.xml", ".m.xml.saving."},
        {folder + "/" + longName, "." + longName.substr(0, 240) + ".saving."},
        {deep + "/model.xml", ""},
    };
    ASSERT_EQ(deep.size(), 4080u);
    for (const auto& c : cases) {
        DiskHooks hooks(Disk{});
        std::string said;
        EXPECT_EQ(save_model(c.file, 20, &said), 1) << said;
        EXPECT_EQ(read_text(c.file), model_text(20));
        const std::string& made = g_disk.firstWritten;
        if (c.temporaryStem.empty())
            continue;
        EXPECT_EQ(made.substr(0, made.size() - 6), c.temporaryStem);
        EXPECT_EQ(made.size(), c.temporaryStem.size() + 6);
    }
    EXPECT_EQ(entries_of(folder), (std::vector<std::string>{longName, "m.xml"}));
    EXPECT_EQ(entries_of(deep), std::vector<std::string>{"model.xml"});
}

// A save keeps the model's owner, group, mode, ACLs and other extended
// attributes: a member of the model's group, or an owner outside it, who
// cannot give a new file that owner and group, writes in place; root and an
// owner in the group replace it by a new file carrying all of them, and
// only them (no ACL that the folder's default gave the new file), set-id
// bits included.
TEST(Writer, SaveKeepsOwnerGroupModeAndAttributes)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    const uid_t owner = 4242;
    const gid_t group = 5000;
    std::string folder = scratch("shared"), model = folder + "/model.xml";
    chmod(scratch("").c_str(), 0755);
    fs::create_directories(folder);
    ASSERT_EQ(chown(folder.c_str(), owner, group), 0);
    chmod(folder.c_str(), 0775);
    // The ACL "user::rw-, user:4243:r--, group::rw-, mask::rw-, other::---".
    auto entry = [](uint16_t tag, uint16_t perm, uint32_t id) {
        std::string bytes(8, '\0');
        memcpy(&bytes[0], &tag, 2);
        memcpy(&bytes[2], &perm, 2);
        memcpy(&bytes[4], &id, 4);
        return bytes;
    };
    const uint32_t none = 0xffffffff;
    const std::string acl = std::string("\x02\0\0\0", 4) + entry(0x01, 6, none) +
                            entry(0x02, 4, 4243) + entry(0x04, 6, none) +
                            entry(0x10, 6, none) + entry(0x20, 0, none);
    const struct {
        const char* who;
        uid_t uid;
        std::vector<gid_t> groups;
        bool inPlace;  // the model is written in place (keeps its inode)
        mode_t mode = 0660;     // the model's
        bool modelAcl = true;   // the model has the ACL; otherwise the folder has it as default
    } cases[] = {
        {"a member of the group", kNobody, {group}, true},
        {"the owner outside the group", owner, {}, true},
        {"the owner in the group", owner, {group}, false},
        {"root", 0, {0}, false},
        {"root, a default ACL on the folder and none on the model", 0, {0}, false, 0660, false},
        {"root, a set-group-id model", 0, {0}, false, 02660},
    };
    for (const auto& c : cases) {
        fs::remove(model);
        write_text(model, "<OLD/>");
        ASSERT_EQ(chown(model.c_str(), owner, group), 0);
        chmod(model.c_str(), c.mode);
        removexattr(folder.c_str(), "system.posix_acl_default");
        const char* aclName = c.modelAcl ? "system.posix_acl_access" : "system.posix_acl_default";
        bool attributes = setxattr(model.c_str(), "user.note", "kept", 4, 0) == 0 &&
                          setxattr(c.modelAcl ? model.c_str() : folder.c_str(), aclName,
                                   acl.data(), acl.size(), 0) == 0;
        struct stat before, after;
        ASSERT_EQ(stat(model.c_str(), &before), 0);
        int result = bounded_child([&] {
            if (c.uid != 0 && !become(c.uid, c.uid == owner ? owner : c.uid, c.groups))
                return 2;
            std::string said;
            return save_model(model, 30, &said) == 1 && said.empty() ? 7 : 1;
        });
        EXPECT_EQ(result, 7) << c.who;
        EXPECT_EQ(read_text(model), model_text(30)) << c.who;
        ASSERT_EQ(stat(model.c_str(), &after), 0);
        EXPECT_EQ(after.st_ino == before.st_ino, c.inPlace) << c.who;
        EXPECT_EQ(after.st_uid, owner) << c.who;
        EXPECT_EQ(after.st_gid, group) << c.who;
        EXPECT_EQ(after.st_mode & 07777, c.mode) << c.who;
        if (attributes) {
            char value[256];
            ssize_t n = getxattr(model.c_str(), "user.note", value, sizeof value);
            EXPECT_EQ(std::string(value, n > 0 ? n : 0), "kept") << c.who;
            n = getxattr(model.c_str(), "system.posix_acl_access", value, sizeof value);
            EXPECT_EQ(std::string(value, n > 0 ? n : 0), c.modelAcl ? acl : "") << c.who;
        }
        EXPECT_EQ(entries_of(folder), std::vector<std::string>{"model.xml"}) << c.who;
    }
    removexattr(folder.c_str(), "system.posix_acl_default");
}
