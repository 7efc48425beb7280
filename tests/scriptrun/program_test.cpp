// scriptrun as built: a run whose model does not fit under a file-size limit
// (the signal for that at its default action) reports the failed save and
// ends normally, with the old model kept and no temporary file left.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/xml/xml_test_util.h"

namespace {

namespace fs = std::filesystem;

struct ProgramRun {
    int status;       // wait status
    std::string err;  // standard error
};

// Runs scriptrun on script in folder with the discriminant plug-ins; a
// sizeLimit above 0 caps the size of every file it writes.
ProgramRun run_scriptrun(const std::string& folder, const std::string& script, rlim_t sizeLimit)
{
    std::ofstream(folder + "/script", std::ios::binary) << script;
    int ends[2];
    if (pipe(ends) != 0)
        return {-1, ""};
    pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDERR_FILENO);
        int none = open("/dev/null", O_RDWR);
        dup2(none, STDIN_FILENO);
        dup2(none, STDOUT_FILENO);
        signal(SIGXFSZ, SIG_DFL);
        struct rlimit limit = {sizeLimit, sizeLimit};
        if (chdir(folder.c_str()) != 0 || (sizeLimit > 0 && setrlimit(RLIMIT_FSIZE, &limit) != 0))
            _exit(99);
        alarm(60);
        execl(SCRIPTRUN_PROGRAM, "scriptrun", "script", PLUGIN_DIR, static_cast<char*>(nullptr));
        _exit(98);
    }
    close(ends[1]);
    ProgramRun run{0, ""};
    char chunk[4096];
    for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;)
        run.err.append(chunk, static_cast<size_t>(n));
    close(ends[0]);
    waitpid(child, &run.status, 0);
    return run;
}

TEST(Program, SaveAtAFileSizeLimitIsReportedAndKeepsTheModel)
{
    char pattern[] = "/tmp/scriptrun_program_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    std::string folder = pattern;
    fs::copy_file(IRIS_DATA, folder + "/d.txt");
    const std::string load = "db = load_database('d.txt');\n";
    ProgramRun trained = run_scriptrun(folder, load + "compute_flatdisc(db, 'm.xml', 'epsilon=0');\n", 0);
    ASSERT_TRUE(WIFEXITED(trained.status) && WEXITSTATUS(trained.status) == 0) << trained.err;
    const std::string model = read_text(folder + "/m.xml");
    ASSERT_GT(model.size(), 300u);
    const struct {
        const char* what;
        std::string statement;
        std::string file;  // the model file saved
    } cases[] = {
        {"a model applied, its history saved", "p = execute_flatdisc(db, 'm.xml');\n", "m.xml"},
        {"a new model", "compute_flatdisc(db, 'n.xml', 'epsilon=0');\n", "n.xml"},
    };
    for (const auto& c : cases) {
        ProgramRun run = run_scriptrun(folder, load + c.statement, 300);
        EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == 0)
            << c.what << ": status " << run.status;
        EXPECT_NE(run.err.find("Can't write the xml file\n" + c.file + ": File too large\n"),
                  std::string::npos)
            << c.what << ": " << run.err;
        EXPECT_EQ(read_text(folder + "/m.xml"), model) << c.what;
        EXPECT_EQ(entries_of(folder), (std::vector<std::string>{"d.txt", "m.xml", "script"}))
            << c.what;
    }
    fs::remove_all(folder);
}

}  // namespace
