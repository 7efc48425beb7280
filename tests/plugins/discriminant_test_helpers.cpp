// Helpers for the linear discriminant plug-in tests.
#include "tests/plugins/discriminant_test_helpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <sstream>
#include <string>
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

TestDatabase::TestDatabase(int rows, int cols, std::vector<double> data)
    : values(std::move(data)), matrix{rows, cols, values.empty() ? nullptr : values.data()}
{
}

TestArgument matrix_argument(TestDatabase& db)
{
    return {VALUE_MATRIX, &db.matrix};
}

TestArgument string_argument(const std::string& text)
{
    // Kept for the whole run, as script values outlive a call.
    static std::deque<std::string> texts;
    texts.push_back(text);
    return {VALUE_STRING, &texts.back()[0]};
}

TestArgument number_argument()
{
    static double number = 1.0;
    return {VALUE_NUMBER, &number};
}

void* call_script(ScriptFunction f, const std::vector<TestArgument>& args, int* resultType)
{
    std::vector<void*> values;
    std::vector<int> types;
    for (const TestArgument& a : args) {
        values.push_back(a.value);
        types.push_back(a.type);
    }
    *resultType = VALUE_EMPTY;
    return f(args.empty() ? nullptr : values.data(), args.empty() ? nullptr : types.data(),
             static_cast<int>(args.size()), resultType);
}

std::string train_quietly(ScriptFunction f, TestDatabase& db, const std::string& file,
                          const char* options)
{
    std::vector<TestArgument> args = {matrix_argument(db), string_argument(file)};
    if (options)
        args.push_back(string_argument(options));
    int type;
    testing::internal::CaptureStderr();
    EXPECT_EQ(call_script(f, args, &type), nullptr);
    EXPECT_EQ(type, VALUE_EMPTY);
    return testing::internal::GetCapturedStderr();
}

ScratchFolder::ScratchFolder()
{
    std::string pattern = std::filesystem::temp_directory_path().string() + "/disc_XXXXXX";
    root_ = mkdtemp(&pattern[0]) ? pattern : std::string(".");
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
}

std::string ScratchFolder::path(const std::string& name) const
{
    return root_ + "/" + name;
}

std::string read_text(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<double> read_numbers(const std::string& file)
{
    std::ifstream in(file);
    std::vector<double> values;
    for (double v; in >> v;)
        values.push_back(v);
    return values;
}

void write_text(const std::string& file, const std::string& text)
{
    std::ofstream(file, std::ios::binary) << text;
}

bool file_exists(const std::string& file)
{
    struct stat info;
    return stat(file.c_str(), &info) == 0;
}

std::string mask_times(const std::string& text)
{
    std::string out = text;
    for (const std::string& lead : {std::string("creation time: "), std::string("executing at ")}) {
        size_t at = 0;
        while ((at = out.find(lead, at)) != std::string::npos) {
            at += lead.size();
            out.replace(at, 24, "TIME");
        }
    }
    return out;
}

std::vector<double> stored_list(const std::string& text, const std::string& element)
{
    std::vector<double> numbers;
    size_t at = text.find("<" + element);
    if (at == std::string::npos)
        return numbers;
    size_t begin = text.find("value=\"", at);
    size_t end = text.find('"', begin + 7);
    std::stringstream items(text.substr(begin + 7, end - begin - 7));
    std::string item;
    while (std::getline(items, item, ','))
        numbers.push_back(strtod(item.c_str(), nullptr));
    return numbers;
}

namespace {

// Runs body in a child whose standard error goes into a pipe; returns what
// the child wrote there, and in *status its wait status.
std::string stderr_of_child(const std::function<int()>& body, int* status)
{
    int ends[2];
    if (pipe(ends) != 0)
        return "<pipe>";
    pid_t child = fork();
    if (child == 0) {
        dup2(ends[1], STDERR_FILENO);
        _exit(body());
    }
    close(ends[1]);
    std::string out;
    char chunk[4096];
    for (ssize_t n; (n = read(ends[0], chunk, sizeof chunk)) > 0;)
        out.append(chunk, static_cast<size_t>(n));
    close(ends[0]);
    *status = -1;
    waitpid(child, status, 0);
    return out;
}

}  // namespace

std::string stderr_under_file_size_limit(long bytes, const std::function<void()>& body,
                                         int* status)
{
    return stderr_of_child([&] {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {static_cast<rlim_t>(bytes), static_cast<rlim_t>(bytes)};
        setrlimit(RLIMIT_FSIZE, &limit);
        body();
        return 0;
    }, status);
}

std::vector<RefusedOutput> refused_outputs(const ScratchFolder& folder)
{
    std::string locked = folder.path("locked.xml");
    write_text(locked, "untouched");
    chmod(locked.c_str(), 0444);
    std::filesystem::create_symlink("gone/m.xml", folder.path("dangling.xml"));
    return {{"read-only file", locked, "Permission denied"},
            {"missing folder", folder.path("gone/m.xml"), "No such file or directory"},
            {"empty name", "", "the file name is empty"},
            {"link into a missing folder", folder.path("dangling.xml"),
             "No such file or directory"}};
}

void expect_outputs_refused(ScriptFunction f, TestDatabase& db, const char* options,
                            const std::string& prefix, const std::string& empty_name_message)
{
    const uid_t nobody = 65534;
    ScratchFolder folder;
    chmod(folder.path("").c_str(), 0755);
    std::vector<RefusedOutput> cases = refused_outputs(folder);
    for (const RefusedOutput& c : cases) {
        std::string expected = prefix + ": the model file '" + c.file +
                               "' cannot be written: " + c.reason + "; nothing is trained\n";
        if (c.file.empty() && !empty_name_message.empty())
            expected = empty_name_message;
        int status = -1;
        std::string said = stderr_of_child([&] {
            if (geteuid() == 0 && (setgid(nobody) != 0 || setuid(nobody) != 0))
                return 2;
            std::vector<double> before = db.values;
            int cols = db.matrix.cols, type = -1;
            std::vector<TestArgument> args = {matrix_argument(db), string_argument(c.file)};
            if (options)
                args.push_back(string_argument(options));
            void* result = call_script(f, args, &type);
            bool untouched = db.values == before && db.matrix.cols == cols;
            return result == nullptr && type == VALUE_EMPTY && untouched ? 7 : 1;
        }, &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << c.name;
        EXPECT_EQ(said, expected) << c.name;
    }
    EXPECT_EQ(read_text(cases[0].file), "untouched");
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.path("")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"dangling.xml", "locked.xml"}));
}

int count_of(const std::string& text, const std::string& needle)
{
    int count = 0;
    for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1))
        ++count;
    return count;
}

namespace {

// One Jacobi rotation that zeroes a[p][q], applied to a and to the vectors.
void jacobi_rotate(std::vector<double>& a, std::vector<double>& v, int n, int p, int q)
{
    double apq = a[p * n + q];
    double theta = (a[q * n + q] - a[p * n + p]) / (2.0 * apq);
    double t = (theta >= 0 ? 1.0 : -1.0) / (std::fabs(theta) + std::sqrt(theta * theta + 1.0));
    double c = 1.0 / std::sqrt(t * t + 1.0), s = t * c;
    for (int k = 0; k < n; ++k) {
        double akp = a[k * n + p], akq = a[k * n + q];
        a[k * n + p] = c * akp - s * akq;
        a[k * n + q] = s * akp + c * akq;
    }
    for (int k = 0; k < n; ++k) {
        double apk = a[p * n + k], aqk = a[q * n + k];
        a[p * n + k] = c * apk - s * aqk;
        a[q * n + k] = s * apk + c * aqk;
    }
    for (int k = 0; k < n; ++k) {
        double vkp = v[k * n + p], vkq = v[k * n + q];
        v[k * n + p] = c * vkp - s * vkq;
        v[k * n + q] = s * vkp + c * vkq;
    }
}

}  // namespace

void jacobi_eigen(std::vector<double> a, int n, std::vector<double>* values,
                  std::vector<double>* vectors)
{
    std::vector<double> v(n * n, 0.0);
    for (int i = 0; i < n; ++i)
        v[i * n + i] = 1.0;
    for (int sweep = 0; sweep < 100; ++sweep) {
        double off = 0.0;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q)
                off += a[p * n + q] * a[p * n + q];
        if (off < 1e-30)
            break;
        for (int p = 0; p < n; ++p)
            for (int q = p + 1; q < n; ++q)
                if (a[p * n + q] != 0.0)
                    jacobi_rotate(a, v, n, p, q);
    }
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](int x, int y) { return a[x * n + x] > a[y * n + y]; });
    values->assign(n, 0.0);
    vectors->assign(n * n, 0.0);
    for (int k = 0; k < n; ++k) {
        int from = order[k];
        (*values)[k] = a[from * n + from];
        int first = 0;
        while (first < n - 1 && std::fabs(v[first * n + from]) < 1e-12)
            ++first;
        double sign = v[first * n + from] < 0 ? -1.0 : 1.0;
        for (int i = 0; i < n; ++i)
            (*vectors)[i * n + k] = sign * v[i * n + from];
    }
}

double TestRandom::next()
{
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;
}

double TestRandom::normal()
{
    double sum = 0.0;
    for (int i = 0; i < 12; ++i)
        sum += next();
    return sum - 6.0;
}

std::vector<RefusalCase> compute_argument_refusals(const std::string& tag,
                                                   const std::string& empty_text,
                                                   TestDatabase& good, TestDatabase& no_features,
                                                   const std::string& file)
{
    static TestDatabase no_rows(0, 3, {});
    TestArgument db = matrix_argument(good), name = string_argument(file);
    TestArgument null_name{VALUE_STRING, nullptr}, null_db{VALUE_MATRIX, nullptr};
    return {
        {"one argument", {db}, tag + ": at least 2 parameters are required\n"},
        {"first not a matrix", {name, name}, tag + ": 1st parameter must be a database matrix\n"},
        {"second not a string", {db, db},
         tag + ": 2nd parameter must be a string (XML file name)\n"},
        {"third not a string", {db, name, number_argument()},
         tag + ": 3rd parameter can be a string (containing options)\n"},
        {"four arguments", {db, name, name, name}, tag + ": too much parameter\n"},
        {"null matrix", {null_db, name}, tag + ": " + empty_text + "\n"},
        {"no rows", {matrix_argument(no_rows), name}, tag + ": " + empty_text + "\n"},
        {"no feature column", {matrix_argument(no_features), name}, tag + ": " + empty_text + "\n"},
        {"null file name", {db, null_name}, tag + ": empty XML file name\n"},
    };
}

std::string handmade_model(const std::string& root, const std::string& parameters)
{
    return "<" + root + ">\n\t<history>\n\t\t<item>creation time: Thu Jan  1 00:00:00 1970</item>"
           "\n\t</history>\n\t<initial_settings/>\n\t<parameters>" + parameters +
           "\n\t</parameters>\n</" + root + ">";
}

std::string stored_parameters(const std::string& feature_number, const std::string& list)
{
    return "\n\t\t<feature_number\n\t\t   value=\"" + feature_number +
           "\"/>\n\t\t<transformation\n\t\t   value=\"" + list + "\"/>";
}

std::vector<RefusalCase> execute_argument_refusals(const std::string& tag, TestDatabase& good,
                                                   const std::string& file)
{
    static TestDatabase no_rows(0, 3, {});
    std::string prefix = "Execute " + tag + ": ";
    TestArgument db = matrix_argument(good), name = string_argument(file);
    TestArgument null_name{VALUE_STRING, nullptr}, null_db{VALUE_MATRIX, nullptr};
    return {
        {"one argument", {db}, prefix + "2 parameters are required\n"},
        {"three arguments", {db, name, name}, prefix + "2 parameters are required\n"},
        {"first not a matrix", {name, name}, prefix + "1st parameter must be a database matrix\n"},
        {"second not a string", {db, number_argument()},
         prefix + "2nd parameter must be a string (XML file name)\n"},
        {"null matrix", {null_db, name}, prefix + "empty parameter\n"},
        {"null file name", {db, null_name}, prefix + "empty parameter\n"},
        {"no rows", {matrix_argument(no_rows), name}, prefix + "empty parameter\n"},
    };
}

std::vector<RefusalCase> finite_value_refusals(const std::string& tag, TestDatabase& good,
                                               int overflow_row, const std::string& file)
{
    static TestDatabase feature_nan(2, 3, {1, NAN, 1, 0, 1, 2});
    static TestDatabase label_inf(2, 3, {1, 2, 1, 0, 1, INFINITY});
    std::string prefix = "Execute " + tag + ": ";
    std::string not_finite =
        prefix + "transformation in " + tag + " parameters holds a value that is not a finite "
                 "number\n";
    std::string sizes = prefix + "problems with sizes in " + tag + " parameters\n";
    std::string square = handmade_model(tag, stored_parameters("2", "1,0,0,1"));
    TestArgument db = matrix_argument(good), name = string_argument(file);
    return {
        {"text in the transformation", {db, name}, not_finite,
         handmade_model(tag, stored_parameters("2", "abc,0,0,1"))},
        {"trailing text in the transformation", {db, name}, not_finite,
         handmade_model(tag, stored_parameters("2", "1,0,0,1x"))},
        {"empty field in the transformation", {db, name}, not_finite,
         handmade_model(tag, stored_parameters("2", "1,,0,0,1"))},
        {"nan in the transformation", {db, name}, not_finite,
         handmade_model(tag, stored_parameters("2", "1,0,0,nan"))},
        {"inf in the transformation", {db, name}, not_finite,
         handmade_model(tag, stored_parameters("2", "1,0,-inf,1"))},
        {"feature_number with trailing text", {db, name}, sizes,
         handmade_model(tag, stored_parameters("2x", "1,0,0,1"))},
        {"empty feature_number", {db, name}, sizes,
         handmade_model(tag, stored_parameters("", "1,0,0,1"))},
        {"a result beyond the range of a real", {db, name},
         prefix + "the transformation gives a value that is not a finite number for row " +
             std::to_string(overflow_row) + "\n",
         handmade_model(tag, stored_parameters("2", "1e308,1e308,1e308,1e308"))},
        {"feature not finite", {matrix_argument(feature_nan), name},
         prefix + "the feature in row 1, column 2 is not a finite number\n", square},
        {"label not finite", {matrix_argument(label_inf), name},
         prefix + "the class label in row 2 is not a finite number\n", square},
    };
}

void expect_refusal(ScriptFunction f, const RefusalCase& c, const std::string& file)
{
    SCOPED_TRACE(c.name);
    std::remove(file.c_str());
    if (!c.content.empty())
        write_text(file, c.content);
    int type = -1;
    testing::internal::CaptureStderr();
    EXPECT_EQ(call_script(f, c.args, &type), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    EXPECT_EQ(type, VALUE_EMPTY);
    EXPECT_EQ(read_text(file), c.content);
    EXPECT_EQ(file_exists(file), !c.content.empty());
}
