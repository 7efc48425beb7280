// Helpers for the kernel classifier tests.
#include "tests/plugins/kernel_classifier_test_helpers.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "support/kernel_matrix.h"
#include "xml/xml_functions.h"

namespace {

// Offset of the nth "<element" followed by a blank, "/" or ">".
size_t find_element(const std::string& text, const std::string& element, int nth)
{
    size_t at = 0;
    std::string open = "<" + element;
    while ((at = text.find(open, at)) != std::string::npos) {
        char next = text[at + open.size()];
        if ((next == '\n' || next == ' ' || next == '\t' || next == '/' || next == '>') &&
            --nth == 0)
            return at;
        at += open.size();
    }
    return std::string::npos;
}

}  // namespace

std::string attribute_of(const std::string& text, const std::string& element, int nth,
                         const std::string& attr)
{
    size_t at = find_element(text, element, nth);
    if (at == std::string::npos)
        return "";
    size_t end = text.find('>', at);
    std::string key = attr + "=\"";
    size_t found = at;
    do
        found = text.find(key, found + 1);
    while (found != std::string::npos && !std::isspace(static_cast<unsigned char>(text[found - 1])));
    if (found == std::string::npos || found > end)
        return "";
    size_t begin = found + key.size();
    return text.substr(begin, text.find('"', begin) - begin);
}

std::string with_attribute(std::string text, const std::string& attr, const std::string& value)
{
    std::string key = attr + "=\"";
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + 1)) {
        if (at > 0 && !std::isspace(static_cast<unsigned char>(text[at - 1])))
            continue;
        size_t begin = at + key.size();
        text.replace(begin, text.find('"', begin) - begin, value);
    }
    return text;
}

std::vector<double> numbers_of(const std::string& list)
{
    std::stringstream items(list);
    std::vector<double> out;
    double v;
    while (items >> v)
        out.push_back(v);
    return out;
}

std::string kernel_elements(const std::string& text)
{
    std::string out;
    for (int nth = 1;; nth++) {
        size_t at = find_element(text, "kernel", nth);
        if (at == std::string::npos)
            return out;
        std::string element = text.substr(at + 7, text.find("/>", at) - at - 7);
        std::stringstream words(element);
        std::string word, line;
        while (words >> word)
            line += (line.empty() ? "" : " ") + word;
        out += line + "\n";
    }
}

double test_kernel(const double* x, const double* y, int d, int kernel, double p0, double p1)
{
    double s = 0.0;
    for (int f = 0; f < d; f++)
        s += kernel == 2 ? (x[f] - y[f]) * (x[f] - y[f]) : x[f] * y[f];
    return kernel == 2 ? std::exp(-s / (p0 * p0)) : std::pow(s + p1, p0);
}

HandModel::HandModel(int n, int d, int kernel, double p0, double p1, unsigned seed)
    : x(n * d), labels(n), coefficients(n)
{
    TestRandom random(seed);
    for (double& v : x)
        v = random.next() * 2.0 - 1.0;
    for (int i = 0; i < n; i++) {
        labels[i] = random.next() < 0.5 ? 1.0 : -1.0;
        coefficients[i] = random.next() - 0.5;
    }
    rows = DataMatrix{n, d, x.data()};
    cls = KernelClassModel{};
    cls.rows = n;
    cls.dimension = d;
    cls.gamma = 0.3;
    cls.u = coefficients.data();
    cls.labels = labels.data();
    cls.trainingView = rows;
    cls.kernelMatrix = init_kernel_matrix(&rows, &rows, 0);
    set_kernel_type(cls.kernelMatrix, kernel);
    set_kernel_parameter(cls.kernelMatrix, 0, p0);
    set_kernel_parameter(cls.kernelMatrix, 1, p1);
}

HandModel::~HandModel()
{
    destroy_kernel_matrix(cls.kernelMatrix);
}

std::vector<UnwritableOutput> unwritable_outputs(const ScratchFolder& folder)
{
    std::string link = folder.path("to-missing.xml");
    std::filesystem::create_symlink("gone/model.xml", link);
    std::vector<UnwritableOutput> outputs = {
        {folder.path("no/such/model.xml"), "No such file or directory", ""},
        {"", "the file name is empty", ""},
        {link, "No such file or directory", ""},
    };
    if (geteuid() != 0) {
        std::string locked = folder.path("locked.xml");
        write_text(locked, "<earlier/>");
        chmod(locked.c_str(), 0444);
        outputs.push_back({locked, "Permission denied", "<earlier/>"});
    }
    return outputs;
}

void expect_output_untouched(const UnwritableOutput& output)
{
    if (output.text.empty())
        EXPECT_FALSE(!output.path.empty() && file_exists(output.path));
    else
        EXPECT_EQ(read_text(output.path), output.text);
}

std::string call_captured(ScriptFunction f, const std::vector<TestArgument>& args,
                          void** result, int* resultType)
{
    testing::internal::CaptureStderr();
    *result = call_script(f, args, resultType);
    return testing::internal::GetCapturedStderr();
}

namespace {

// An open document and the classes loaded from it. The kernels go right
// after the load (as their owners destroy them before the release); the
// rest is released with the document.
struct LoadedModel {
    const ModelRoutines& routines;        // the routines under test
    XMLParser* document = nullptr;        // the open file
    KernelClassModel* classes = nullptr;  // what the load gave
    int classCount;                       // records in classes
    int result = -1;                      // the load's result

    LoadedModel(const ModelRoutines& r, const std::string& file, const DataMatrix* samples,
                int count)
        : routines(r), classCount(count)
    {
        if (!XMLopen(&document, file.c_str())) {
            ADD_FAILURE() << "cannot open " << file;
            return;
        }
        result = r.load(&document, &classes, samples);
        for (int c = 0; classes != nullptr && c < classCount; c++) {
            destroy_kernel_matrix(classes[c].kernelMatrix);
            classes[c].kernelMatrix = nullptr;
        }
    }
    ~LoadedModel()
    {
        if (classes != nullptr)
            routines.release(&classes, classCount);
        XMLclose(&document);
    }
    LoadedModel(const LoadedModel&) = delete;
    LoadedModel& operator=(const LoadedModel&) = delete;
};

}  // namespace

void expect_model_loaded(const ModelRoutines& r, const std::string& init, const TestDatabase& db,
                         int classCount)
{
    const int n = db.matrix.rows, d = db.matrix.cols - 1;
    {
        LoadedModel m(r, init, nullptr, classCount);
        ASSERT_EQ(m.result, 1);
        const double* rows = *r.trainingRows;
        ASSERT_NE(rows, nullptr);
        for (int k = 0; k < n * d; k++)
            EXPECT_EQ(rows[k], db.values[(k / d) * (d + 1) + k % d]) << k;
        for (int c = 0; c < classCount; c++) {
            const KernelClassModel& cls = m.classes[c];
            EXPECT_EQ(cls.trainingView.data, rows) << c;
            ASSERT_EQ(cls.trainingView.rows, n);
            EXPECT_EQ(cls.trainingView.cols, d);
            for (int i = 0; i < n; i++) {
                bool own = static_cast<int>(db.values[i * (d + 1) + d]) == c + 1;
                EXPECT_EQ(cls.labels[i], own ? 1.0 : -1.0) << c << " " << i;
            }
        }
    }
    EXPECT_EQ(*r.trainingRows, nullptr);
}

void expect_model_round_trip(const ModelRoutines& r, const std::string& init,
                             const std::string& model, const char* classElement,
                             int classCount, bool hasBias)
{
    std::vector<std::vector<double>> u(classCount);
    {
        LoadedModel m(r, init, nullptr, classCount);
        ASSERT_EQ(m.result, 1);
        for (int c = 0; c < classCount; c++) {
            KernelClassModel& cls = m.classes[c];
            cls.gamma = 0.75 - c;
            for (int k = 0; k < cls.rows; k++)
                cls.u[k] = (c + 1) * (k - 2.5) / 8;  // exact in "%.10lg"
            u[c].assign(cls.u, cls.u + cls.rows);
        }
        r.save(&m.document, model.c_str(), m.classes, classCount);
    }
    std::string text = read_text(model);
    LoadedModel again(r, model, nullptr, classCount);
    ASSERT_EQ(again.result, 1);
    for (int c = 0; c < classCount; c++) {
        SCOPED_TRACE(c);
        const KernelClassModel& cls = again.classes[c];
        EXPECT_EQ(numbers_of(attribute_of(text, classElement, c + 1, "u")), u[c]);
        EXPECT_EQ(std::vector<double>(cls.u, cls.u + cls.rows), u[c]);
        std::string gamma = attribute_of(text, classElement, c + 1, "gamma");
        if (hasBias)
            EXPECT_EQ(numbers_of(gamma), std::vector<double>{0.75 - c});
        else
            EXPECT_EQ(gamma, "");
        EXPECT_EQ(cls.gamma, hasBias ? 0.75 - c : 0.0);
    }
}

void expect_refused_load(const ModelRoutines& r, const std::string& init, int classCount)
{
    TestDatabase wide(2, 5, std::vector<double>(10, 0.5));
    testing::internal::CaptureStderr();
    LoadedModel m(r, init, &wide.matrix, classCount);
    std::string printed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(m.result, 0);
    EXPECT_NE(printed.find("the database has 5 feature columns"), std::string::npos) << printed;
    EXPECT_EQ(m.classes, nullptr);
    EXPECT_EQ(*r.trainingRows, nullptr);
}
