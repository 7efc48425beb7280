// Projection pursuit script functions: options and the kept settings,
// refusals that leave the caller's matrix and files alone, the model file
// a training call writes, testing, and generate-then-recover.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "plugins/pathlet/projection_model.h"
#include "plugins/pathlet/settings.h"
#include "tests/plugins/discriminant_test_helpers.h"

extern "C" void* train_pathlet(void** values, int* types, int count, int* resultType);
extern "C" void* test_pathlet(void** values, int* types, int count, int* resultType);

namespace {

bool same(const TrainSettings& a, const TrainSettings& b)
{
    return a.NumProj == b.NumProj && a.NumProjPars == b.NumProjPars &&
           a.Strategy == b.Strategy && a.Rotate == b.Rotate && a.TrainLoop == b.TrainLoop &&
           a.RotateB == b.RotateB && a.TrainLoopB == b.TrainLoopB;
}

// Each key is read as a whole number within int, from the text as a finite
// real, and checked against its range; the first key at fault is named.
TEST(PathletSettings, KeysMatchAsSubstringsAndTwoAreKept)
{
    keep_settings(TrainSettings{1, 1, 0, 3, 3, 2, 1});
    const TrainSettings defaults{1, 1, 0, 3, 3, 2, 1};
    struct Case {
        const char* options;
        TrainSettings expected;  // when read
        std::string refusal;     // the message when refused
    };
    auto from_one = [](const char* key) {
        return "PATHLET: " + std::string(key) +
               " must be a whole number from 1 to the number of data lines (2000)\n";
    };
    auto at_least = [](const char* key, int minimum) {
        return "PATHLET: " + std::string(key) + " must be a whole number of " +
               std::to_string(minimum) + " or more\n";
    };
    const Case cases[] = {
        {nullptr, defaults, ""},
        {"RotateB=1 Rotate=4", {1, 1, 0, 1, 3, 1, 1}, ""},
        {"NumProjPars=3", {3, 3, 0, 3, 3, 2, 1}, ""},
        {"NumProj=4,NumProjPars=2", {4, 2, 0, 3, 3, 2, 1}, ""},
        {"TrainLoopB=5\tTrainLoop=2 Strategy=-1", {1, 1, -1, 3, 5, 2, 5}, ""},
        {"NumProj=0x10 TrainLoop=1e3", {16, 1, 0, 3, 1000, 2, 1}, ""},
        {"NumProj=2000 Strategy=2147483647", {2000, 1, 2147483647, 3, 3, 2, 1}, ""},
        {"Rotate=1 RotateB=0 TrainLoop=1 TrainLoopB=0", {1, 1, 0, 1, 1, 0, 0}, ""},
        {"Strategy=x Rotate=", defaults, at_least("Strategy", -1)},
        {"Rotate=1.5", defaults, at_least("Rotate", 1)},
        {"Strategy=1e300", defaults, at_least("Strategy", -1)},
        {"Strategy=-2", defaults, at_least("Strategy", -1)},
        {"Rotate=4 RotateB=-1", defaults, at_least("RotateB", 0)},
        {"TrainLoop=-2147483649", defaults, at_least("TrainLoop", 1)},
        {"TrainLoop=0", defaults, at_least("TrainLoop", 1)},
        {"TrainLoop=2 TrainLoopB=-1", defaults, at_least("TrainLoopB", 0)},
        {"RotateB=0", defaults, at_least("Rotate", 1)},  // Rotate is found inside RotateB
        {"NumProj=0", defaults, from_one("NumProj")},
        {"NumProj=2001", defaults, from_one("NumProj")},
        {"NumProj=2 NumProjPars=2001", defaults, from_one("NumProjPars")},
        {"NumProj=2 NumProjPars=-1", defaults, from_one("NumProjPars")},
    };
    for (const Case& c : cases) {
        const char* name = c.options ? c.options : "null";
        TrainSettings s;
        testing::internal::CaptureStderr();
        bool read = read_settings(c.options, 2000, &s);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.refusal) << name;
        EXPECT_EQ(read, c.refusal.empty()) << name;
        EXPECT_TRUE(!read || same(s, c.expected)) << name;
    }
    TrainSettings four;
    ASSERT_TRUE(read_settings("NumProj=4 NumProjPars=2", 2000, &four));
    keep_settings(four);
    TrainSettings later;
    read_settings("Strategy=2", 2000, &later);
    EXPECT_TRUE(same(later, TrainSettings{4, 2, 2, 3, 3, 2, 1}));
    // The kept counts are checked against the rows of the call that uses them.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(read_settings(nullptr, 3, &later));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "PATHLET: NumProj must be a whole number from 1 to the number of data lines (3)\n");
    keep_settings(TrainSettings{1, 1, 0, 3, 3, 2, 1});
}

// A three-class database of 30 rows and 3 features, labels last.
std::vector<double> small_database()
{
    TestRandom random(17);
    std::vector<double> values;
    for (int i = 0; i < 30; ++i) {
        int label = 1 + i % 3;
        for (int k = 0; k < 3; ++k)
            values.push_back(random.normal() + (k == label - 1 ? 2.0 : 0.0));
        values.push_back(label);
    }
    return values;
}

TEST(PathletScript, RefusesBadCallsBeforeSplittingAndWritesNothing)
{
    ScratchFolder folder;
    std::string file = folder.path("m.xml");
    std::vector<double> values = small_database();
    TestDatabase good(30, 4, values);
    values[4 * 5 + 3] = 0.0;
    TestDatabase zero_label(30, 4, values);
    values[4 * 5 + 3] = 2.0;
    values[4 * 7 + 1] = NAN;
    TestDatabase not_finite(30, 4, values);
    TestDatabase single(3, 1, {1, 2, 1});
    TestDatabase empty(0, 4, {});
    struct Case {
        const char* name;
        std::vector<TestArgument> args;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"one argument", {matrix_argument(good)}, "PATHLET: at least 2 parameters are required\n"},
        {"not a matrix", {string_argument("x"), string_argument(file)},
         "PATHLET: 1st parameter must be a database matrix\n"},
        {"no file name", {matrix_argument(good), number_argument()},
         "PATHLET: 2nd parameter must be a string (XML file name)\n"},
        {"options not a string",
         {matrix_argument(good), string_argument(file), number_argument()},
         "PATHLET: 3rd parameter can be a string (containing options)\n"},
        {"four arguments",
         {matrix_argument(good), string_argument(file), string_argument(""), string_argument("")},
         "PATHLET: too many parameters\n"},
        {"no rows", {matrix_argument(empty), string_argument(file)}, "PATHLET: empty input matrix\n"},
        {"null file name", {matrix_argument(good), {VALUE_STRING, nullptr}},
         "PATHLET: empty XML file name\n"},
        {"empty file name", {matrix_argument(good), string_argument("")},
         "PATHLET: empty XML file name\n"},
        {"no features", {matrix_argument(single), string_argument(file)},
         "PATHLET: the database has no feature columns\n"},
        {"Strategy -2", {matrix_argument(good), string_argument(file), string_argument("Strategy=-2")},
         "PATHLET: Strategy must be a whole number of -1 or more\n"},
        {"NumProj 0", {matrix_argument(good), string_argument(file), string_argument("NumProj=0")},
         "PATHLET: NumProj must be a whole number from 1 to the number of data lines (30)\n"},
        {"NumProjPars x",
         {matrix_argument(good), string_argument(file), string_argument("NumProj=2 NumProjPars=x")},
         "PATHLET: NumProjPars must be a whole number from 1 to the number of data lines (30)\n"},
        {"Rotate 0", {matrix_argument(good), string_argument(file), string_argument("Rotate=0")},
         "PATHLET: Rotate must be a whole number of 1 or more\n"},
        {"label 0", {matrix_argument(zero_label), string_argument(file)},
         "PATHLET: the class label in row 6 is not a whole number of 1 or more\n"},
        {"NaN feature", {matrix_argument(not_finite), string_argument(file)},
         "PATHLET: the value in row 8, column 2 is not finite\n"},
    };
    for (const Case& c : cases) {
        std::vector<int> cols;
        for (const TestArgument& a : c.args)
            cols.push_back(a.type == VALUE_MATRIX ? static_cast<DataMatrix*>(a.value)->cols : 0);
        int type = -1;
        testing::internal::CaptureStderr();
        EXPECT_EQ(call_script(train_pathlet, c.args, &type), nullptr);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.name;
        EXPECT_EQ(type, VALUE_EMPTY);
        EXPECT_FALSE(file_exists(file)) << c.name;
        for (size_t i = 0; i < c.args.size(); ++i) {
            int now = c.args[i].type == VALUE_MATRIX
                          ? static_cast<DataMatrix*>(c.args[i].value)->cols : 0;
            EXPECT_EQ(now, cols[i]) << c.name;
        }
    }
    // The refused NumProj=0 and NumProj=2 left the kept value at 1.
    unsigned seed = 1;
    set_model_seed_hook(&seed);
    std::string said = train_quietly(train_pathlet, good, file, "Rotate=1 TrainLoop=1");
    set_model_seed_hook(nullptr);
    EXPECT_NE(said.find("\nNumber of Projections: 1\nNumber of projection paramters: 1\n"),
              std::string::npos);
}

// A model file the save could not replace or create is refused before the
// labels are split off or anything trains.
TEST(PathletScript, UnwritableModelFileIsRefusedBeforeTraining)
{
    TestDatabase good(30, 4, small_database());
    expect_outputs_refused(train_pathlet, good, "Rotate=1 TrainLoop=1", "PATHLET",
                           "PATHLET: empty XML file name\n");
}

TEST(PathletScript, TrainsWritesTheFileAndTestsIt)
{
    ScratchFolder folder;
    std::string file = folder.path("m.xml");
    TestDatabase train(30, 4, small_database());
    unsigned seed = 5;
    set_model_seed_hook(&seed);
    std::string said = train_quietly(train_pathlet, train, file, "NumProj=2 NumProjPars=3");
    set_model_seed_hook(nullptr);
    EXPECT_EQ(train.matrix.cols, 3);
    EXPECT_EQ(said.rfind("\nNumber of Projections: 2\nNumber of projection paramters: 3\n"
                         "Training strategy: Full Train\n"
                         "Number of rotations before weight adjustment: 3\n"
                         "Number of training iterations per projection: 3\n"
                         "Number of rotations when backfitting:  2\n"
                         "Number of iterations when backfitting: 1\n\n"
                         "Number of data lines: 30\nNumber of features: 3\n"
                         "Number of classes: 3\n\nAdding projection No. 1\n",
                         0),
              0u)
        << said;
    EXPECT_NE(said.find("Error after training:    "), std::string::npos);
    std::string text = mask_times(read_text(file));
    EXPECT_EQ(text.rfind("<PATHLET>\n\t<history>\n\t\t<item>creation time: TIME</item>\n"
                         "\t\t<item>XML output file: '" + file + "'</item>\n"
                         "\t\t<item>rows in original database: 30</item>\n"
                         "\t\t<item>columns in original database: 3</item>\n\t</history>\n"
                         "\t<initial_settings>\n\t\t<item>NumProj = 2</item>\n"
                         "\t\t<item>NumProjPars = 3</item>\n\t\t<item>Strategy = 0</item>\n"
                         "\t\t<item>Rotate = 3</item>\n\t\t<item>TrainLoop = 3</item>\n"
                         "\t\t<item>RotateB = 2</item>\n\t\t<item>TrainLoopB = 1</item>\n"
                         "\t</initial_settings>\n\t<parameters\n\t   NumInput=\"3\"\n",
                         0),
              0u)
        << text;
    EXPECT_EQ(count_of(text, "<PROJECTION"), 2);
    // Testing on the same rows repeats the training report's rate.
    std::string rate = said.substr(said.find("Classification error:"));
    TestDatabase again(30, 4, small_database());
    int type;
    testing::internal::CaptureStderr();
    call_script(test_pathlet, {matrix_argument(again), string_argument(file)}, &type);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Number of data lines: 30\nNumber of features: 3\nNumber of classes: 3\n" + rate);
    EXPECT_EQ(again.matrix.cols, 3);
    keep_settings(TrainSettings{1, 1, 0, 3, 3, 2, 1});
}

// The model is saved once, whole: under a file-size limit that let the
// history through but not the projections, the earlier model used to be
// replaced by the history alone.
TEST(PathletScript, FailedSaveKeepsTheEarlierModel)
{
    ScratchFolder folder;
    std::string file = folder.path("m.xml");
    const std::string earlier = "<PATHLET><history/></PATHLET>";
    write_text(file, earlier);
    int status = -1;
    // The history alone takes about 600 bytes.
    std::string said = stderr_under_file_size_limit(1024, [&] {
        TestDatabase train(30, 4, small_database());
        int type;
        call_script(train_pathlet,
                    {matrix_argument(train), string_argument(file),
                     string_argument("NumProj=2 NumProjPars=3")},
                    &type);
    }, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(said.find("PATHLET: the model file '" + file + "' could not be written\n"),
              std::string::npos)
        << said;
    EXPECT_EQ(read_text(file), earlier);
}

TEST(PathletScript, TestRefusesModelsThatDoNotFit)
{
    ScratchFolder folder;
    std::string file = folder.path("m.xml");
    write_text(file, "<PATHLET><parameters NumInput=\"2\" NumOutput=\"2\" NumProjPars=\"1\" "
                     "NumProj=\"1\" NormFact=\"1\" Means=\"0.5,0.5\"><PROJECTION Shift=\"0\" "
                     "Dir=\"1,0\" ProjPars=\"1\" Weights=\"1,-1\"/></parameters></PATHLET>");
    write_text(folder.path("part.xml"),
               "<PATHLET><parameters NumInput=\"2\" NumOutput=\"2\" NumProjPars=\"1\" "
               "NumProj=\"2\" Means=\"0.5,0.5\"><PROJECTION Dir=\"1,0\" ProjPars=\"1\" "
               "Weights=\"1,-1\"/></parameters></PATHLET>");
    const std::string head = "Number of data lines: 4\nNumber of features: 2\n";
    struct Case {
        const char* name;
        std::vector<double> rows;  // 4 rows of 2 features and a label
        std::string model;
        std::string said;          // after the head
    };
    const Case cases[] = {
        {"fits", {-1, 0, 2, 1, 0, 1, -2, 5, 2, 3, 1, 1}, file,
         "Number of classes: 2\nClassification error:    0.00 %\n"},
        {"labels outside count as errors", {-1, 0, 2, 1, 0, 0, -2, 5, 2, 3, 1, -1}, file,
         "Number of classes: 2\nClassification error:    50.00 %\n"},
        {"three classes", {-1, 0, 3, 1, 0, 1, -2, 5, 2, 3, 1, 1}, file,
         "Number of classes: 3\nIncompatible NumClass and NumOutput!"},
        {"partial model", {-1, 0, 2, 1, 0, 1, -2, 5, 2, 3, 1, 1}, folder.path("part.xml"),
         "Number of classes: 2\nPATHLET: Incompatible Dir array size!\n"},
        {"missing model", {-1, 0, 2, 1, 0, 1, -2, 5, 2, 3, 1, 1}, folder.path("none.xml"),
         "Number of classes: 2\nCan't parse the xml document.\n" + folder.path("none.xml") +
             ": No such file or directory\nPATHLET: the XML file name is not valid!\n"},
    };
    for (const Case& c : cases) {
        TestDatabase db(4, 3, c.rows);
        int type;
        testing::internal::CaptureStderr();
        call_script(test_pathlet, {matrix_argument(db), string_argument(c.model)}, &type);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), head + c.said) << c.name;
        EXPECT_EQ(db.matrix.cols, 2) << c.name;
    }
    TestDatabase wide(2, 4, {1, 2, 3, 1, 4, 5, 6, 2});
    int type;
    testing::internal::CaptureStderr();
    call_script(test_pathlet, {matrix_argument(wide), string_argument(file)}, &type);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Number of data lines: 2\nNumber of features: 3\nNumber of classes: 2\n"
              "Incompatible DIM and NumInput!");
}

// Rows in [-1, 1]^3 labelled by the sign of a ridge function of one
// direction; a trained model and fresh rows of the same kind.
std::vector<double> ridge_rows(int n, unsigned seed)
{
    TestRandom random(seed);
    std::vector<double> values;
    for (int i = 0; i < n; ++i) {
        double x[3];
        for (double& v : x)
            v = 2.0 * random.next() - 1.0;
        double u = 0.6 * x[0] - 0.8 * x[1];
        values.insert(values.end(), {x[0], x[1], x[2], u * u < 0.15 ? 1.0 : 2.0});
    }
    return values;
}

double reported_rate(const std::string& said)
{
    size_t at = said.rfind("Classification error:");
    return at == std::string::npos ? 100.0 : atof(said.c_str() + at + 21);
}

TEST(PathletScript, RecoversARidgeFunctionsClasses)
{
    ScratchFolder folder;
    std::string file = folder.path("ridge.xml");
    TestDatabase train(400, 4, ridge_rows(400, 31));
    unsigned seed = 2;
    set_model_seed_hook(&seed);
    train_quietly(train_pathlet, train, file, "NumProj=1 NumProjPars=4 TrainLoop=6");
    set_model_seed_hook(nullptr);
    TestDatabase fresh(400, 4, ridge_rows(400, 77));
    int type;
    testing::internal::CaptureStderr();
    call_script(test_pathlet, {matrix_argument(fresh), string_argument(file)}, &type);
    double rate = reported_rate(testing::internal::GetCapturedStderr());
    EXPECT_LT(rate, 4.0);
    keep_settings(TrainSettings{1, 1, 0, 3, 3, 2, 1});
}

}  // namespace
