// The two programs as built: a FIFO, a device or a folder in place of any of
// their files is refused at once, so is a file they may not read, or an
// output they may not write (before anything trains), and a run whose writes
// fail part-way (a file-size limit standing for a full disk) keeps the old
// files.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/nettools/net_test_helpers.h"

namespace {

struct ProgramRun {
    int status;       // exit status; -1 when a signal ended it
    std::string out;  // standard output
};

const uid_t nobody = 65534;

#ifndef __has_feature
#define __has_feature(x) 0
#endif

// Caps this process's memory at 1 GiB: its address space, or under the
// address sanitizer, whose shadow takes terabytes of it, the allocator's.
void limit_memory()
{
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
    const char* options = getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(options ? options : "") + ":allocator_may_return_null=1"
                            ":max_allocation_size_mb=1024:hard_rss_limit_mb=1024").c_str(), 1);
#else
    struct rlimit limit = {1u << 30, 1u << 30};
    setrlimit(RLIMIT_AS, &limit);
#endif
}

// A copy of program that "nobody" may run, as the build may lie in a folder
// only its owner enters: in a folder under /tmp opened to all; "" on failure.
std::string reachable_copy(const char* program)
{
    std::string folder = temp_folder(), copy = folder + std::strrchr(program, '/');
    write_text(copy, read_text(program));
    bool open = chmod(folder.c_str(), 0755) == 0 && chmod(copy.c_str(), 0755) == 0;
    return open && read_text(copy) == read_text(program) ? copy : "";
}

// Runs program with args in folder, standard input from /dev/null. An alarm
// ends a program that waits (after ten seconds); fileLimit > 0 caps the size
// of every file it writes, the signal for that left at its default (the
// program must not die of it); user, when not 0, is the user it runs as.
// Every run is under limit_memory.
ProgramRun run_program(const char* program, std::vector<std::string> args,
                       const std::string& folder, rlim_t fileLimit = 0, uid_t user = 0)
{
    int ends[2];
    if (pipe(ends) != 0)
        return {-2, ""};
    pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDOUT_FILENO);
        int none = open("/dev/null", O_RDONLY);
        dup2(none, STDIN_FILENO);
        if (chdir(folder.c_str()) != 0)
            _exit(99);
        if (fileLimit > 0) {
            signal(SIGXFSZ, SIG_DFL);
            struct rlimit limit = {fileLimit, fileLimit};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        if (user != 0 && user != geteuid() && (setgid(user) != 0 || setuid(user) != 0))
            _exit(97);
        limit_memory();
        std::vector<char*> argv{const_cast<char*>(program)};
        for (std::string& a : args)
            argv.push_back(&a[0]);
        argv.push_back(nullptr);
        alarm(10);
        execv(program, argv.data());
        _exit(98);
    }
    close(ends[1]);
    ProgramRun run{-1, ""};
    char chunk[4096];
    for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;)
        run.out.append(chunk, static_cast<size_t>(n));
    close(ends[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (WIFEXITED(status))
        run.status = WEXITSTATUS(status);
    return run;
}

// Names in folder other than "." and "..".
std::vector<std::string> entries(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* dir = opendir(folder.c_str());
    while (dirent* e = dir ? readdir(dir) : nullptr)
        if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
            names.push_back(e->d_name);
    if (dir)
        closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

// A trained 2-1-2 network, its frequencies and data for both programs.
void write_good_files(const std::string& dir)
{
    const std::string data = "0.1,0.9,1\n0.8,0.2,2\n0.2,0.7,1\n0.9,0.1,2\n";
    write_text(dir + "s.data", data);
    write_text(dir + "s.test", data);
    write_text(dir + "s.wts", "2\n2\n3\n5\n3\n1\n1\n0\n1.0 -1.0 2.0 -2.0 1.0 \n0.0 0.0 0.0 ");
    write_text(dir + "s.fre", "2\n2\n2\n4\n");
    write_text(dir + "s.trf", "0 0\n1 1\n");
}

TEST(Programs, FilesThatAreNotRegularAreRefusedAtOnce)
{
    const struct {
        const char* program;
        const char* file;        // replaced by a FIFO, or by a folder when folder
        bool folder;
        const char* message;     // the start of the refusal line
        int link = 0;            // else a symbolic (1) or a hard (2) link to s.wts
    } cases[] = {
        {NETTRAIN_PROGRAM, "s.data", false, "Cannot read file s.data: not a regular file!"},
        {NETTRAIN_PROGRAM, "s.data", true, "Cannot read file s.data: Is a directory!"},
        {NETTRAIN_PROGRAM, "s.wts", false, "Cannot write file s.wts: not a regular file!"},
        {NETTRAIN_PROGRAM, "s.fre", false, "Cannot write file s.fre: not a regular file!"},
        {NETTRAIN_PROGRAM, "s.fre", false, "Cannot write file s.fre: the same file is named twice!", 1},
        {NETTRAIN_PROGRAM, "s.fre", false, "Cannot write file s.fre: the same file is named twice!", 2},
        {NETTEST_PROGRAM, "s.test", false, "Cannot read file s.test: not a regular file!"},
        {NETTEST_PROGRAM, "s.fre", false, "Cannot read file s.fre: not a regular file!"},
        {NETTEST_PROGRAM, "s.wts", false, "Error in weightsfile s.wts: not a regular file!"},
        {NETTEST_PROGRAM, "s.trf", false, "Error in normfile s.trf: not a regular file!"},
        {NETTEST_PROGRAM, "s.trf", true, "Error in normfile s.trf: Is a directory!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.file);
        std::string dir = temp_folder();
        write_good_files(dir);
        std::string path = dir + c.file;
        unlink(path.c_str());
        ASSERT_EQ(c.link ? (c.link == 1 ? symlink("s.wts", path.c_str())
                                        : link((dir + "s.wts").c_str(), path.c_str()))
                  : c.folder ? mkdir(path.c_str(), 0755) : mkfifo(path.c_str(), 0644), 0);
        bool trainer = std::string(c.program) == NETTRAIN_PROGRAM;
        ProgramRun run = trainer ? run_program(c.program, {"s", "1", "1", "0.1", "0"}, dir)
                                 : run_program(c.program, {"s", "n"}, dir);
        EXPECT_EQ(run.status, 1);
        EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
        struct stat info;
        ASSERT_EQ(lstat(path.c_str(), &info), 0);
        EXPECT_TRUE(c.link ? (c.link == 1 ? S_ISLNK(info.st_mode) : S_ISREG(info.st_mode))
                  : c.folder ? S_ISDIR(info.st_mode) : S_ISFIFO(info.st_mode));
    }
}

// Permissions as an ordinary user sees them (the test acts as "nobody" in
// the child when it runs as root): a file that cannot be read is refused
// with its name and the reason, never taken for a missing one, and an
// output the save would refuse is refused before anything is read.
TEST(Programs, FilesTheUserMayNotReadOrWriteAreRefused)
{
    const struct {
        const char* program;
        const char* stem;
        const char* file;  // given mode, or removed with the outputs when a folder
        mode_t mode;
        const char* message;  // the start of the refusal line
        bool whole;           // the refusal is all that is printed
    } cases[] = {
        {NETTEST_PROGRAM, "s", "s.trf", 0, "Error in normfile s.trf: Permission denied!", false},
        {NETTEST_PROGRAM, "s", "s.wts", 0, "Error in weightsfile s.wts: Permission denied!", false},
        {NETTEST_PROGRAM, "s", "s.fre", 0, "Cannot read file s.fre: Permission denied!", false},
        {NETTRAIN_PROGRAM, "s", "s.wts", 0222, "Error in weightsfile s.wts: Permission denied!", false},
        {NETTRAIN_PROGRAM, "s", "s.data", 0, "Cannot read file s.data: Permission denied!", false},
        {NETTRAIN_PROGRAM, "s", "s.wts", 0444, "Cannot write file s.wts: Permission denied!\n", true},
        {NETTRAIN_PROGRAM, "sub/s", "sub", 0555, "Cannot write file sub/s.wts: Permission denied!\n",
         true},
        {NETTRAIN_PROGRAM, "none/s", "", 0,
         "Cannot write file none/s.wts: No such file or directory!\n", true},
    };
    uid_t user = geteuid() == 0 ? nobody : geteuid();
    gid_t group = geteuid() == 0 ? nobody : getegid();
    std::string nettrain = NETTRAIN_PROGRAM, nettest = NETTEST_PROGRAM;
    if (user != geteuid() && ((nettrain = reachable_copy(NETTRAIN_PROGRAM)).empty() ||
                              (nettest = reachable_copy(NETTEST_PROGRAM)).empty()))
        GTEST_SKIP() << "the programs cannot be copied where another user may run them";
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + c.file);
        std::string dir = temp_folder(), sub = dir + "sub/";
        ASSERT_EQ(mkdir(sub.c_str(), 0777), 0);
        for (const std::string& folder : {dir, sub}) {
            write_good_files(folder);
            for (const std::string& name : entries(folder))  // the user's own files
                if (name != "sub") {
                    chmod((folder + name).c_str(), 0666);
                    ASSERT_EQ(chown((folder + name).c_str(), user, group), 0);
                }
            ASSERT_EQ(chown(folder.c_str(), user, static_cast<gid_t>(-1)), 0);
        }
        unlink((sub + "s.wts").c_str());
        unlink((sub + "s.fre").c_str());
        if (*c.file)
            chmod((dir + c.file).c_str(), c.mode);
        std::vector<std::string> args = {c.stem, "1", "60", "0.1", "0"};
        if (std::string(c.program) == NETTEST_PROGRAM)
            args = {c.stem, "n"};
        std::string wts = read_text(dir + "s.wts");
        const std::string& program = args.size() == 2 ? nettest : nettrain;
        ProgramRun run = run_program(program.c_str(), args, dir, 0, user);
        EXPECT_EQ(run.status, 1);
        if (c.whole) {
            EXPECT_EQ(run.out, c.message);
        } else {
            EXPECT_NE(run.out.find(c.message), std::string::npos) << run.out;
        }
        EXPECT_EQ(read_text(dir + "s.wts"), wts);
        EXPECT_EQ(entries(sub), (std::vector<std::string>{"s.data", "s.test", "s.trf"}));
    }
}

// 20 inputs, 40 hidden units, 2 outputs: 881 weights, about 8000 bytes of
// weights file, twice the limit.
TEST(Programs, FileSizeLimitedRunKeepsBothOldFiles)
{
    std::string dir = temp_folder();
    std::string data, weights = "20\n2\n42\n881\n3\n40\n1\n0\n";
    for (int r = 0; r < 10; ++r) {
        for (int f = 0; f < 20; ++f)
            data += std::to_string((r * 7 + f * 3) % 10 / 10.0) + ",";
        data += std::to_string(1 + r % 2) + "\n";
    }
    for (int w = 0; w < 881; ++w)
        weights += w == 880 ? "1.000000 \n" : "0.010000 ";
    for (int u = 0; u < 42; ++u)
        weights += "0.000000 ";
    write_text(dir + "big.data", data);
    write_text(dir + "big.wts", weights);
    write_text(dir + "big.fre", "2\n1\n1\n2\n");
    ProgramRun run = run_program(NETTRAIN_PROGRAM, {"big", "40", "1", "0.1", "0"}, dir, 4096);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("Cannot write file big.wts: File too large!"), std::string::npos)
        << run.out;
    EXPECT_EQ(read_text(dir + "big.wts"), weights);
    EXPECT_EQ(read_text(dir + "big.fre"), "2\n1\n1\n2\n");
    EXPECT_EQ(entries(dir), (std::vector<std::string>{"big.data", "big.fre", "big.wts"}));
}

// A network larger than the machine, claimed by a weights file of a few
// bytes or by NumHidden, is refused with both figures before anything is
// built (under limit_memory, a regression fails instead of taking the
// machine down).
TEST(Programs, NetworksLargerThanTheMachineAreRefused)
{
    const long long memory = static_cast<long long>(sysconf(_SC_PHYS_PAGES)) * sysconf(_SC_PAGESIZE);
    if (memory >= 1.8e11)
        GTEST_SKIP() << "the machine's memory holds the largest network a weights file can claim";
    const std::string figures =
        " bytes, more than the " + std::to_string(memory) + " bytes of physical memory!\n";
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {"big"}, {"big", "1", "1", "0.1", "0"}, {"new", "1073741823", "1", "0.1", "0"}}) {
        std::string dir = temp_folder();
        for (const char* name : {"big.data", "big.test", "new.data"})
            write_text(dir + name, "0.5,1\n0.7,1\n");
        write_text(dir + "big.wts", "1\n1\n1073741824\n2147483647\n3\n1073741823\n0\n0\n");
        ProgramRun run =
            run_program(args.size() == 5 ? NETTRAIN_PROGRAM : NETTEST_PROGRAM, args, dir);
        EXPECT_EQ(run.status, 1) << run.out;
        const char* refusal = args[0] == "big" ? "Error in weightsfile big.wts: the network needs "
                                               : "Not enough memory: the network needs ";
        EXPECT_NE(run.out.find(figures, run.out.find(refusal)), std::string::npos) << run.out;
        EXPECT_EQ(entries(dir), (std::vector<std::string>{"big.data", "big.test", "big.wts",
                                                          "new.data"}));
    }
}

}  // namespace
