// Linear discriminant plug-in: the transformation against an independent
// generalised eigen-solution, exact model files, projection, and refusals
// that leave files untouched.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <memory>

#include "support/matrix.h"
#include "support/random.h"
#include "tests/plugins/discriminant_test_helpers.h"

extern "C" void* compute_flatdisc(void** values, int* types, int count, int* resultType);
extern "C" void* execute_flatdisc(void** values, int* types, int count, int* resultType);

namespace {

// Labels of a database (last column), and its features, as plain arrays.
struct Labelled {
    int n, d;
    std::vector<double> x;    // n x d
    std::vector<int> label;   // n, truncated
};

Labelled labelled(const TestDatabase& db)
{
    Labelled out{db.matrix.rows, db.matrix.cols - 1, {}, {}};
    for (int r = 0; r < out.n; ++r) {
        for (int i = 0; i < out.d; ++i)
            out.x.push_back(db.values[r * db.matrix.cols + i]);
        out.label.push_back(static_cast<int>(db.values[r * db.matrix.cols + out.d]));
    }
    return out;
}

// B and W as the linear discriminant defines them, written out plainly.
void reference_scatters(const Labelled& s, double epsilon, std::vector<double>* b,
                        std::vector<double>* w)
{
    int n = s.n, d = s.d, classes = 0;
    for (int c : s.label)
        classes = std::max(classes, c);
    std::vector<double> mean(d, 0.0), means(classes * d, 0.0), count(classes, 0.0);
    for (int r = 0; r < n; ++r) {
        count[s.label[r] - 1] += 1;
        for (int i = 0; i < d; ++i) {
            mean[i] += s.x[r * d + i] / n;
            means[(s.label[r] - 1) * d + i] += s.x[r * d + i];
        }
    }
    for (int c = 0; c < classes; ++c)
        for (int i = 0; i < d; ++i)
            means[c * d + i] /= count[c] > 0 ? count[c] : 1;
    b->assign(d * d, 0.0);
    w->assign(d * d, 0.0);
    for (int i = 0; i < d; ++i)
        for (int j = 0; j < d; ++j) {
            for (int c = 0; c < classes; ++c)
                (*b)[i * d + j] += (means[c * d + i] - mean[i]) * (means[c * d + j] - mean[j]) *
                                   count[c] / n;
            for (int r = 0; r < n; ++r) {
                int c = s.label[r] - 1;
                double divisor = count[c] > 1 ? count[c] - 1 : 1;
                (*w)[i * d + j] += (s.x[r * d + i] - means[c * d + i]) *
                                   (s.x[r * d + j] - means[c * d + j]) / divisor / n;
            }
            if (i == j)
                (*w)[i * d + j] += epsilon;
        }
}

// Solutions of B v = lambda W v through W^-1/2 B W^-1/2, eigenvalues
// descending, unit vectors (columns of the d x d *vectors), first entry >= 0.
void generalised_eigen(const std::vector<double>& b, const std::vector<double>& w, int d,
                       std::vector<double>* values, std::vector<double>* vectors)
{
    std::vector<double> omega, u, half(d * d, 0.0), a(d * d, 0.0), y;
    jacobi_eigen(w, d, &omega, &u);
    for (int i = 0; i < d; ++i)
        for (int j = 0; j < d; ++j)
            for (int k = 0; k < d; ++k)
                half[i * d + j] += u[i * d + k] * u[j * d + k] / std::sqrt(omega[k]);
    for (int i = 0; i < d; ++i)
        for (int j = 0; j < d; ++j)
            for (int k = 0; k < d; ++k)
                for (int l = 0; l < d; ++l)
                    a[i * d + j] += half[i * d + k] * b[k * d + l] * half[l * d + j];
    jacobi_eigen(a, d, values, &y);
    vectors->assign(d * d, 0.0);
    for (int k = 0; k < d; ++k) {
        double norm = 0.0;
        for (int i = 0; i < d; ++i) {
            for (int j = 0; j < d; ++j)
                (*vectors)[i * d + k] += half[i * d + j] * y[j * d + k];
            norm += (*vectors)[i * d + k] * (*vectors)[i * d + k];
        }
        double sign = (*vectors)[k] < 0 ? -1.0 : 1.0;
        for (int i = 0; i < d; ++i)
            (*vectors)[i * d + k] *= sign / std::sqrt(norm);
    }
}

// classes x per_class rows of d correlated features around separated means.
std::unique_ptr<TestDatabase> class_data(int classes, int per_class, int d, unsigned seed)
{
    TestRandom random(seed);
    std::vector<double> mix(d * d), centre(classes * d), data;
    for (double& m : mix)
        m = random.next() - 0.5;
    for (double& c : centre)
        c = 4.0 * random.normal();
    for (int c = 0; c < classes; ++c)
        for (int r = 0; r < per_class; ++r) {
            std::vector<double> z(d);
            for (double& v : z)
                v = random.normal();
            for (int i = 0; i < d; ++i) {
                double value = centre[c * d + i] + z[i];
                for (int j = 0; j < d; ++j)
                    value += mix[i * d + j] * z[j];
                data.push_back(value);
            }
            data.push_back(c + 1);
        }
    return std::make_unique<TestDatabase>(classes * per_class, d + 1, data);
}

std::string compute(TestDatabase& db, const std::string& file, const char* options = nullptr)
{
    return train_quietly(compute_flatdisc, db, file, options);
}

// "Www Mmm dd hh:mm:ss yyyy<" in the layout below: A stands for an upper-case
// letter, a for a lower-case one, D for a blank or 1-3, 9 for a digit; other
// characters stand for themselves.
bool has_time_layout(const std::string& stamp)
{
    const std::string layout = "Aaa Aaa D9 99:99:99 9999<";
    if (stamp.size() != layout.size())
        return false;
    for (size_t i = 0; i < layout.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(stamp[i]);
        bool fits = layout[i] == 'A'   ? std::isupper(c)
                    : layout[i] == 'a' ? std::islower(c)
                    : layout[i] == 'D' ? c == ' ' || (c >= '1' && c <= '3')
                    : layout[i] == '9' ? std::isdigit(c)
                                       : c == layout[i];
        if (!fits)
            return false;
    }
    return true;
}

DataMatrix* execute(TestDatabase& db, const std::string& file, std::string* messages)
{
    int type;
    testing::internal::CaptureStderr();
    void* result = call_script(execute_flatdisc, {matrix_argument(db), string_argument(file)},
                               &type);
    *messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(type, result ? VALUE_MATRIX : VALUE_EMPTY);
    return static_cast<DataMatrix*>(result);
}

}  // namespace

// The transformation's columns solve B v = lambda W v for the positive
// eigenvalues, in decreasing order, one fewer than the classes.
TEST(FlatdiscTransform, SolvesTheGeneralisedEigenproblem)
{
    struct Case {
        int classes, per_class, d;
        const char* options;
        double epsilon;
    } cases[] = {{2, 30, 3, nullptr, 0.0},
                 {3, 25, 4, nullptr, 0.0},
                 {4, 20, 4, nullptr, 0.0},
                 {3, 20, 5, "epsilon=0.01", 0.01},
                 {4, 15, 6, "other=1 epsilon=0.5", 0.5}};
    ScratchFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.classes << " classes, d " << c.d);
        auto db = class_data(c.classes, c.per_class, c.d, 17u * c.classes + c.d);
        std::string file = folder.path("lda.xml");
        EXPECT_EQ(compute(*db, file, c.options), "");
        std::string text = read_text(file);
        std::vector<double> b, w, values, vectors;
        reference_scatters(labelled(*db), c.epsilon, &b, &w);
        generalised_eigen(b, w, c.d, &values, &vectors);
        int l = c.classes - 1;
        EXPECT_EQ(stored_list(text, "feature_number"), std::vector<double>{double(c.d)});
        std::vector<double> stored = stored_list(text, "transformation");
        ASSERT_EQ(stored.size(), size_t(c.d * l));
        for (int k = 0; k < l; ++k) {
            double residual = 0.0, scale = 0.0;
            for (int i = 0; i < c.d; ++i) {
                double bv = 0.0, wv = 0.0;
                for (int j = 0; j < c.d; ++j) {
                    bv += b[i * c.d + j] * stored[j * l + k];
                    wv += w[i * c.d + j] * stored[j * l + k];
                }
                residual += std::pow(bv - values[k] * wv, 2);
                scale += bv * bv;
                EXPECT_NEAR(stored[i * l + k], vectors[i * c.d + k], 1e-7) << "column " << k;
            }
            EXPECT_LT(std::sqrt(residual), 1e-7 * std::sqrt(scale)) << "column " << k;
        }
    }
}

// A class of one row divides by 1; a label with no rows adds nothing to B.
TEST(FlatdiscTransform, LonelyAndEmptyClasses)
{
    TestDatabase db(7, 3, {0, 0, 1,  1, 0.5, 1,  0, 1, 1,  1, 1.5, 1,
                           5, 4, 3,  6, 3, 3,  9, 9, 4});
    ScratchFolder folder;
    EXPECT_EQ(compute(db, folder.path("m.xml")), "");
    std::vector<double> b, w, values, vectors;
    reference_scatters(labelled(db), 0.0, &b, &w);
    generalised_eigen(b, w, 2, &values, &vectors);
    std::vector<double> stored = stored_list(read_text(folder.path("m.xml")), "transformation");
    ASSERT_EQ(stored.size(), 4u);  // two classes with rows besides class 1: rank 2
    for (int i = 0; i < 2; ++i)
        for (int k = 0; k < 2; ++k)
            EXPECT_NEAR(stored[i * 2 + k], vectors[i * 2 + k], 1e-7);

    // Labels near the int limit mean many empty classes, which need no table
    // rows: the same transformation, without tables of 2e9 rows.
    TestDatabase far(7, 3, {0, 0, 1,  1, 0.5, 1,  0, 1, 1,  1, 1.5, 1,
                            5, 4, 1e9,  6, 3, 1e9,  9, 9, 2147483000});
    seed_random15(1);
    EXPECT_EQ(compute(far, folder.path("far.xml")), "");
    seed_random15(1);
    EXPECT_EQ(compute(db, folder.path("m.xml")), "");
    EXPECT_EQ(stored_list(read_text(folder.path("far.xml")), "transformation"),
              stored_list(read_text(folder.path("m.xml")), "transformation"));
}

// One feature: the eigenvector is exactly 1, so the whole file is known.
TEST(FlatdiscModelFile, ExactFileAndExecutionHistory)
{
    ScratchFolder folder;
    std::string file = folder.path("one.xml");
    TestDatabase db(5, 2, {1, 1, 2, 1, 4, 2, 5, 2, 7, 2});
    EXPECT_EQ(compute(db, file, "epsilon=0.01"), "");
    std::string expected =
        "<FLATDISC>\n\t<history>\n\t\t<item>creation time: TIME</item>\n"
        "\t\t<item>XML output file: '" + file + "'</item>\n"
        "\t\t<item>rows in original database: 5</item>\n"
        "\t\t<item>columns in original database: 1</item>\n\t</history>\n"
        "\t<initial_settings>\n\t\t<item>epsilon for W matrix diagonal: 1.000000e-02</item>\n"
        "\t\t<item>epsilon for eigenvalue testing: 1.000000e-08</item>\n"
        "\t</initial_settings>\n\t<parameters>\n\t\t<feature_number\n\t\t   value=\"1\"/>\n"
        "\t\t<transformation\n\t\t   value=\"1\"/>\n\t</parameters>\n</FLATDISC>";
    EXPECT_EQ(mask_times(read_text(file)), expected);
    std::string text = read_text(file);
    std::string stamp = text.substr(text.find("creation time: ") + 15, 25);
    EXPECT_TRUE(has_time_layout(stamp)) << stamp;

    std::string messages;
    for (int run = 1; run <= 2; ++run) {
        DataMatrix* result = execute(db, file, &messages);
        EXPECT_EQ(messages, "");
        ASSERT_NE(result, nullptr);
        ASSERT_EQ(result->rows, 5);
        ASSERT_EQ(result->cols, 2);
        for (int r = 0; r < 5; ++r) {
            EXPECT_EQ(result->data[r * 2], db.values[r * 2]);
            EXPECT_EQ(result->data[r * 2 + 1], db.values[r * 2 + 1]);
        }
        matrix_free(result);
        std::string item = "\t\t<item>executing at TIME</item>\n";
        std::string grown = expected;
        for (int k = 0; k < run; ++k)
            grown.insert(grown.find("\t</history>"), item);
        EXPECT_EQ(mask_times(read_text(file)), grown);
    }
}

// Texts of any length go into the history whole.
TEST(FlatdiscModelFile, LongFileNameKeptWhole)
{
    ScratchFolder folder;
    std::string file = folder.path(std::string(180, 'n') + ".xml");
    auto db = class_data(2, 10, 2, 5);
    EXPECT_EQ(compute(*db, file), "");
    EXPECT_NE(read_text(file).find("<item>XML output file: '" + file + "'</item>"),
              std::string::npos);
    EXPECT_NE(read_text(file).find("<item>epsilon for W matrix diagonal: 0.000000e+00</item>"),
              std::string::npos);
}

// Projection: each row times the stored transformation, label last.
TEST(FlatdiscExecute, ProjectsWithTheStoredTransformation)
{
    ScratchFolder folder;
    std::string file = folder.path("lda.xml");
    auto db = class_data(3, 12, 4, 9);
    EXPECT_EQ(compute(*db, file), "");
    std::vector<double> t = stored_list(read_text(file), "transformation");
    ASSERT_EQ(t.size(), 8u);
    std::string messages;
    DataMatrix* result = execute(*db, file, &messages);
    ASSERT_NE(result, nullptr);
    ASSERT_EQ(result->cols, 3);
    for (int r = 0; r < db->matrix.rows; ++r) {
        for (int k = 0; k < 2; ++k) {
            double expected = 0.0;
            for (int i = 0; i < 4; ++i)
                expected += db->values[r * 5 + i] * t[i * 2 + k];
            EXPECT_NEAR(result->data[r * 3 + k], expected, 1e-9 * (1 + std::fabs(expected)));
        }
        EXPECT_EQ(result->data[r * 3 + 2], db->values[r * 5 + 4]);
    }
    matrix_free(result);
}

// Every refusal of compute_flatdisc prints its message and leaves an existing
// file as it was.
TEST(FlatdiscRefusals, ComputeLeavesTheFileUntouched)
{
    ScratchFolder folder;
    std::string file = folder.path("kept.xml");
    TestDatabase good(4, 3, {0, 0, 1, 1, 0, 1, 0, 1, 2, 1, 1, 2});
    TestDatabase no_features(2, 1, {1, 2});
    std::vector<RefusalCase> cases =
        compute_argument_refusals("FLATDISC", "empty input matrix", good, no_features, file);
    TestDatabase label_zero(2, 2, {1, 1, 2, 0});
    TestDatabase label_half(2, 2, {1, 1, 2, 0.5});
    TestDatabase label_nan(2, 2, {1, NAN, 2, 1});
    TestDatabase label_negative(3, 2, {1, 1, 2, 2, 3, -1});
    TestDatabase feature_nan(2, 2, {NAN, 1, 2, 2});
    TestDatabase feature_inf(3, 3, {1, 1, 1, 2, 2, 2, 3, INFINITY, 1});
    TestDatabase constant(4, 3, {0, 5, 1, 1, 5, 1, 3, 5, 2, 4, 5, 2});
    TestDatabase constant_single(4, 2, {5, 1, 5, 1, 5, 2, 5, 2});
    TestDatabase one_class(3, 2, {1, 1, 2, 1, 3, 1});
    auto label = [](int row) {
        return "compute_flatdisc: the class label in row " + std::to_string(row) +
               " is not a whole number of 1 or more\n";
    };
    TestArgument name = string_argument(file);
    cases.push_back({"label 0", {matrix_argument(label_zero), name}, label(2)});
    cases.push_back({"label 0.5", {matrix_argument(label_half), name}, label(2)});
    cases.push_back({"label NaN", {matrix_argument(label_nan), name}, label(1)});
    cases.push_back({"label -1", {matrix_argument(label_negative), name}, label(3)});
    cases.push_back({"feature NaN", {matrix_argument(feature_nan), name},
                     "compute_flatdisc: the feature in row 1, column 1 is not a finite number\n"});
    cases.push_back({"feature infinite", {matrix_argument(feature_inf), name},
                     "compute_flatdisc: the feature in row 3, column 2 is not a finite number\n"});
    cases.push_back({"singular W", {matrix_argument(constant), name},
                     "compute_flatdisc: W is singular; use the epsilon option\n"});
    cases.push_back({"singular 1 x 1 W", {matrix_argument(constant_single), name},
                     "compute_flatdisc: W is singular; use the epsilon option\n"});
    cases.push_back({"singular W, epsilon 0", {matrix_argument(constant), name,
                     string_argument("epsilon=0")},
                     "compute_flatdisc: W is singular; use the epsilon option\n"});
    cases.push_back({"epsilon not a number", {matrix_argument(constant), name,
                     string_argument("epsilon=1e-3x")},
                     "FLATDISC: the option epsilon (\"1e-3x\") is not a finite number\n"});
    cases.push_back({"no eigenvalue kept", {matrix_argument(one_class), name},
                     "compute_flatdisc: not enough memory!\n"});
    for (const RefusalCase& c : cases)
        expect_refusal(compute_flatdisc, c, file);
}

// A model file the save could not replace or create is refused before
// anything trains.
TEST(FlatdiscRefusals, UnwritableModelFileIsRefusedBeforeTraining)
{
    TestDatabase good(4, 3, {0, 0, 1, 1, 0, 1, 0, 1, 2, 1, 1, 2});
    expect_outputs_refused(compute_flatdisc, good, "epsilon=0.01", "FLATDISC");
}

// The singular case trains once epsilon lifts W's diagonal.
TEST(FlatdiscRefusals, EpsilonMakesASingularWUsable)
{
    ScratchFolder folder;
    TestDatabase constant(4, 3, {0, 5, 1, 1, 5, 1, 3, 5, 2, 4, 5, 2});
    EXPECT_EQ(compute(constant, folder.path("m.xml"), "epsilon=0.5"), "");
    std::vector<double> t = stored_list(read_text(folder.path("m.xml")), "transformation");
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0], 1.0, 1e-9);
    EXPECT_NEAR(t[1], 0.0, 1e-9);
}

// Every refusal of execute_flatdisc prints its message, returns nothing and
// leaves the model file as it was.
TEST(FlatdiscRefusals, ExecuteLeavesTheModelUntouched)
{
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    TestDatabase db(2, 3, {1, 2, 1, 3, 4, 2});
    std::vector<RefusalCase> cases = execute_argument_refusals("FLATDISC", db, file);
    struct ModelCase {
        const char* name;
        std::string text;      // file content; empty for a missing file
        std::string message;
    } models[] = {
        {"missing file", "", "Can't parse the xml document.\n" + file +
                             ": No such file or directory\nExecute FLATDISC: the XML file "
                             "name is not valid or wrong file!\n"},
        {"not a flatdisc model", handmade_model("GROUPFOLD", stored_parameters("2", "1,0,0,1")),
         "Execute FLATDISC: the XML doesn't contain proper FLATDISC element\n"},
        {"list not a multiple", handmade_model("FLATDISC", stored_parameters("2", "1,2,3")),
         "Execute FLATDISC: problems with sizes in FLATDISC parameters\n"},
        {"feature_number 0", handmade_model("FLATDISC", stored_parameters("0", "1,2")),
         "Execute FLATDISC: problems with sizes in FLATDISC parameters\n"},
        {"no feature_number", handmade_model("FLATDISC", ""),
         "Execute FLATDISC: problems with sizes in FLATDISC parameters\n"},
        {"wrong column count", handmade_model("FLATDISC", stored_parameters("3", "1,2,3")),
         "Execute FLATDISC: incompatible sizes - matrix and FLATDISC\n"},
    };
    for (const ModelCase& m : models)
        cases.push_back({m.name, {matrix_argument(db), string_argument(file)}, m.message, m.text});
    // Row 1, (1, 2), meets 1e308 + 2e308.
    for (RefusalCase& c : finite_value_refusals("FLATDISC", db, 1, file))
        cases.push_back(c);
    for (const RefusalCase& c : cases)
        expect_refusal(execute_flatdisc, c, file);
}
