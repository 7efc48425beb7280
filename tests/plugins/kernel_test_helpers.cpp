// Helpers for the kernel plug-in tests.
#include "tests/plugins/kernel_test_helpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

Rows features_of(const TestDatabase& db)
{
    Rows rows{db.matrix.rows, db.matrix.cols - 1, {}};
    for (int r = 0; r < rows.n; ++r)
        for (int i = 0; i < rows.d; ++i)
            rows.x.push_back(db.values[r * db.matrix.cols + i]);
    return rows;
}

double reference_kernel(const double* a, const double* b, int d, int code, const double* p)
{
    double dot = 0.0, distance = 0.0;
    for (int i = 0; i < d; ++i) {
        dot += a[i] * b[i];
        distance += (a[i] - b[i]) * (a[i] - b[i]);
    }
    switch (code) {
    case 1:
        return std::pow(dot + p[1], p[0]);
    case 2:
        return std::exp(-distance / (p[0] * p[0]));
    default:
        return dot;
    }
}

namespace {

std::vector<double> kernel_between(const Rows& a, const Rows& b, int code, const double* p)
{
    std::vector<double> k(a.n * b.n);
    for (int i = 0; i < a.n; ++i)
        for (int j = 0; j < b.n; ++j)
            k[i * b.n + j] = reference_kernel(&a.x[i * a.d], &b.x[j * b.d], a.d, code, p);
    return k;
}

}  // namespace

std::vector<double> reference_centred_kernel(const Rows& rows, int code, const double* p)
{
    return reference_new_row_kernel(rows, rows, code, p);
}

std::vector<double> reference_new_row_kernel(const Rows& z, const Rows& x, int code,
                                             const double* p)
{
    std::vector<double> k = kernel_between(z, x, code, p), train = kernel_between(x, x, code, p);
    int rows = z.n, n = x.n;
    std::vector<double> row_mean(rows, 0.0), column_mean(n, 0.0);
    double grand = 0.0;
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < n; ++j)
            row_mean[i] += k[i * n + j] / n;
    for (int l = 0; l < n; ++l)
        for (int j = 0; j < n; ++j) {
            column_mean[j] += train[l * n + j] / n;
            grand += train[l * n + j] / (double(n) * n);
        }
    for (int i = 0; i < rows; ++i)
        for (int j = 0; j < n; ++j)
            k[i * n + j] += grand - row_mean[i] - column_mean[j];
    return k;
}

std::vector<double> product(const std::vector<double>& a, const std::vector<double>& b, int r,
                            int s, int t)
{
    std::vector<double> c(r * t, 0.0);
    for (int i = 0; i < r; ++i)
        for (int k = 0; k < s; ++k)
            for (int j = 0; j < t; ++j)
                c[i * t + j] += a[i * s + k] * b[k * t + j];
    return c;
}

std::vector<std::vector<double>> stored_rows(const std::string& text, const std::string& stem,
                                             int n)
{
    std::vector<std::vector<double>> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back(stored_list(text, stem + "_" + std::to_string(i) + "\n"));
    return rows;
}

std::unique_ptr<TestDatabase> kernel_data(int n, int d, int classes, double spread,
                                          unsigned seed)
{
    TestRandom random(seed);
    std::vector<double> data;
    for (int r = 0; r < n; ++r) {
        int label = r % classes + 1;
        for (int i = 0; i < d; ++i)
            data.push_back(random.normal() + spread * label * ((i % 2) ? -1.0 : 1.0));
        data.push_back(label);
    }
    return std::make_unique<TestDatabase>(n, d + 1, data);
}

DataMatrix* execute_quietly(ScriptFunction f, TestDatabase& db, const std::string& file,
                            std::string* messages)
{
    int type;
    testing::internal::CaptureStderr();
    void* result = call_script(f, {matrix_argument(db), string_argument(file)}, &type);
    *messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(type, result ? VALUE_MATRIX : VALUE_EMPTY);
    return static_cast<DataMatrix*>(result);
}

namespace {

std::string element(const std::string& name, const std::string& value)
{
    return "\n\t\t<" + name + "\n\t\t   value=\"" + value + "\"/>";
}

// A consistent two-row linear model over two features with one direction,
// with any element's value text replaced (a value of "-" leaves it out).
std::string model_text(const std::string& root, const std::string& stem,
                       const std::vector<std::pair<std::string, std::string>>& changes)
{
    std::vector<std::pair<std::string, std::string>> items = {
        {"row", "2"}, {"column", "2"}, {"newcolumn", "1"}, {"kernel", "0"},
        {"kernel_param0", "0"}, {"kernel_param1", "0"}, {"kernel_param2", "0"},
        {"kernel_param3", "0"}, {"kernel_param4", "0"}, {"X_0", "1,2"}, {"X_1", "3,-1"},
        {stem + "_0", "0.5"}, {stem + "_1", "-0.5"}};
    for (const auto& change : changes) {
        bool found = false;
        for (auto& item : items)
            if (item.first == change.first) {
                item.second = change.second;
                found = true;
            }
        if (!found)
            items.push_back(change);
    }
    std::string parameters;
    for (const auto& item : items)
        if (item.second != "-")
            parameters += element(item.first, item.second);
    return handmade_model(root, parameters);
}

}  // namespace

std::vector<BrokenModel> broken_models(const std::string& root, const std::string& prefix,
                                       const std::string& stem)
{
    std::string p = prefix + ": ";
    std::string sizes = p + "problems with sizes in " + root + " parameters\n";
    std::string not_finite = " in " + root + " parameters holds a value that is not a finite "
                             "number\n";
    return {
        {"not a model file", "<<<",
         "Can't parse the xml document.\n" + p + "the XML file name is not valid!\n"},
        {"another root", model_text("OTHER", stem, {}),
         p + "the XML doesn't contain proper " + root + " element\n"},
        {"no row count", model_text(root, stem, {{"row", "-"}}), sizes},
        {"zero columns", model_text(root, stem, {{"column", "0"}}), sizes},
        {"negative newcolumn", model_text(root, stem, {{"newcolumn", "-3"}}), sizes},
        {"more rows than stated", model_text(root, stem, {{"X_2", "1,1"}}), sizes},
        {"more coefficient rows than stated", model_text(root, stem, {{stem + "_2", "1"}}), sizes},
        {"other feature count", model_text(root, stem, {{"column", "3"}}),
         p + "incompatible sizes - matrix and " + root + "\n"},
        {"short training row", model_text(root, stem, {{"X_1", "3"}}),
         p + "error with row 2 in matrix X\n"},
        {"long training row", model_text(root, stem, {{"X_0", "1,2,3"}}),
         p + "error with row 1 in matrix X\n"},
        {"missing training row", model_text(root, stem, {{"X_1", "-"}}),
         p + "error with row 2 in matrix X\n"},
        {"long coefficient row", model_text(root, stem, {{stem + "_0", "1,2"}}),
         p + "error with row 1 in matrix " + stem + "\n"},
        {"missing coefficient row", model_text(root, stem, {{stem + "_1", "-"}}),
         p + "error with row 2 in matrix " + stem + "\n"},
        {"kernel code 4", model_text(root, stem, {{"kernel", "4"}}),
         p + "unknown kernel type 4 in " + root + " parameters\n"},
        {"kernel code 256", model_text(root, stem, {{"kernel", "256"}}),
         p + "unknown kernel type 256 in " + root + " parameters\n"},
        {"negative kernel code", model_text(root, stem, {{"kernel", "-1"}}),
         p + "unknown kernel type -1 in " + root + " parameters\n"},
        // The rows are read before the kernel: the first fault found is the row's.
        {"kernel code 9 and a short row", model_text(root, stem, {{"kernel", "9"}, {"X_1", "3"}}),
         p + "error with row 2 in matrix X\n"},
        {"huge sizes", model_text(root, stem, {{"row", "2000000000"}, {"newcolumn", "2000000000"}}),
         p + "error with row 1 in matrix " + stem + "\n"},
        {"fewer rows than stated", model_text(root, stem, {{"row", "3"}}),
         p + "error with row 3 in matrix X\n"},
        // Every item that should hold a number must hold a finite one.
        {"row count with trailing text", model_text(root, stem, {{"row", "2x"}}), sizes},
        {"fractional column count", model_text(root, stem, {{"column", "2.5"}}), sizes},
        {"text in a training row", model_text(root, stem, {{"X_0", "abc,2"}}),
         p + "X_0" + not_finite},
        {"trailing text in a training row", model_text(root, stem, {{"X_1", "3,-1x"}}),
         p + "X_1" + not_finite},
        {"empty field in a training row", model_text(root, stem, {{"X_1", "3,,-1"}}),
         p + "X_1" + not_finite},
        {"inf in a training row", model_text(root, stem, {{"X_0", "inf,2"}}),
         p + "X_0" + not_finite},
        {"nan coefficient", model_text(root, stem, {{stem + "_1", "nan"}}),
         p + stem + "_1" + not_finite},
        // A row's count is checked before its values.
        {"short row of text", model_text(root, stem, {{"X_0", "abc"}}),
         p + "error with row 1 in matrix X\n"},
        {"kernel code as text", model_text(root, stem, {{"kernel", "abc"}}),
         p + "kernel in " + root + " parameters holds a value that is not a whole number\n"},
        {"nan kernel parameter", model_text(root, stem, {{"kernel_param3", "nan"}}),
         p + "kernel_param3" + not_finite},
        {"empty kernel parameter", model_text(root, stem, {{"kernel_param1", ""}}),
         p + "kernel_param1" + not_finite},
        {"exponential kernel of width 0", model_text(root, stem, {{"kernel", "2"}}),
         p + "kernel_param0 in " + root + " parameters gives the exponential kernel no width\n"},
        // 1e-200 squared is 0 as a real.
        {"exponential kernel of width 1e-200",
         model_text(root, stem, {{"kernel", "2"}, {"kernel_param0", "1e-200"}}),
         p + "kernel_param0 in " + root + " parameters gives the exponential kernel no width\n"},
        // Database row 2, (0.5, 4), has the inner product -2.5 with X_1: the
        // square root of a negative number.
        {"polynomial of degree 0.5 over a negative base",
         model_text(root, stem, {{"kernel", "1"}, {"kernel_param0", "0.5"}}),
         p + "the kernel gives a value that is not a finite number for row 2\n"},
        {"coefficients beyond the range of a real",
         model_text(root, stem, {{stem + "_0", "1e308"}, {stem + "_1", "-1e308"}}),
         p + "the kernel gives a value that is not a finite number for row 1\n"},
    };
}

TestDatabase& two_feature_database()
{
    static TestDatabase db(2, 3, {1, 2, 1, 0.5, 4, 2});
    return db;
}

void expect_broken_models_refused(ScriptFunction f, const std::vector<BrokenModel>& cases)
{
    ScratchFolder folder;
    std::string file = folder.path("broken.xml");
    for (const BrokenModel& c : cases) {
        SCOPED_TRACE(c.name);
        write_text(file, c.text);
        std::string messages;
        DataMatrix* result = execute_quietly(f, two_feature_database(), file, &messages);
        EXPECT_EQ(result, nullptr);
        EXPECT_EQ(messages, c.message);
        EXPECT_EQ(read_text(file), c.text);
    }
}

void expect_training_refusals(ScriptFunction f, const std::vector<TrainingRefusal>& cases)
{
    ScratchFolder folder;
    std::string file = folder.path("refused.xml");
    for (const TrainingRefusal& c : cases) {
        SCOPED_TRACE(c.message);
        TestDatabase db(c.rows, c.cols, c.data);
        EXPECT_EQ(train_quietly(f, db, file, c.options), c.message);
        EXPECT_FALSE(file_exists(file));
    }
}
