// Text files: the data reader on good and hostile lines, weights files byte
// for byte and in round trips of both forms, refused weights files,
// normalisation tables and class frequencies.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

#include "nettools/data_file.h"
#include "nettools/net_files.h"
#include "nettools/seed_clock.h"
#include "nettools/text_numbers.h"
#include "support/random.h"
#include "tests/nettools/net_test_helpers.h"

namespace {

DataReadResult read_quietly(const std::string& path, int maxLabel, DataFile* data,
                            std::string* printed)
{
    testing::internal::CaptureStdout();
    DataReadResult result = read_data_file(path, "trainfile", maxLabel, true, data);
    *printed = testing::internal::GetCapturedStdout();
    return result;
}

TEST(DataFile, ReadsGoodFiles)
{
    struct Case {
        const char* text;
        int features, lines, largest;
        std::vector<float> values;
        std::vector<int> classes, counts;
    } cases[] = {
        {"1.5,2,3\n", 2, 1, 2, {1.5f, 2.0f}, {2}, {0, 0, 1}},
        {"1,2,1\n3,4,2", 2, 2, 1, {1, 2, 3, 4}, {0, 1}, {1, 1}},  // no final line feed
        {"\n1,1\n  \n-2.5e1, 2 \r\n\n", 1, 2, 1, {1, -25}, {0, 1}, {1, 1}},  // blank lines, CRLF
        {"0,0,0,500\n", 3, 1, 499, {0, 0, 0}, {499}, {}},
    };
    std::string dir = temp_folder();
    for (const Case& c : cases) {
        write_text(dir + "good.data", c.text);
        DataFile data;
        std::string printed;
        ASSERT_EQ(read_quietly(dir + "good.data", 500, &data, &printed), DATA_READ) << c.text;
        EXPECT_EQ(data.features, c.features);
        EXPECT_EQ(data.lines, c.lines);
        EXPECT_EQ(data.largest, c.largest);
        EXPECT_EQ(data.values, c.values);
        EXPECT_EQ(data.classes, c.classes);
        if (!c.counts.empty()) {
            EXPECT_EQ(data.classCounts, c.counts);
        }
        EXPECT_EQ(static_cast<int>(data.classCounts.size()), c.largest + 1);
        std::string expected = "Number of features in trainfile: " + std::to_string(c.features) +
                               "\nNumber of data lines in trainfile: " +
                               std::to_string(c.lines) + "\nReading trainfile...done\n";
        EXPECT_EQ(printed, expected);
    }
}

TEST(DataFile, RefusesBadLinesNamingFileAndLine)
{
    using namespace std::string_literals;
    struct Case {
        std::string text;
        const char* message;  // part of what is printed
    } cases[] = {
        {"1,2,1\n1,2\n", "line 2: 2 fields where the first line has 3"},
        {"1,2,1\n\n1,2,3,1\n", "line 3: 4 fields where the first line has 3"},
        {"1,2,0\n", "line 1: the label must be a whole number from 1 to 500"},
        {"1,2,1\n1,2,501\n", "line 2: the label must be a whole number from 1 to 500"},
        {"1,2,1.5\n", "line 1: the label must be"},
        {"1,2,\n", "line 1: the label must be"},
        {"1,x,1\n", "line 1: feature 2 is not a number"},
        {"1,nan,1\n", "line 1: feature 2 is not a number"},
        {"1,1e999,1\n", "line 1: feature 2 is not a number"},
        {",2,1\n", "line 1: feature 1 is not a number"},
        {"1\n", "line 1: no feature before the label"},
        {"\n\n", "no data lines"},
        {"", "no data lines"},
        // A NUL byte inside a field: refused, not read as the number before it.
        {"1,\0xyz,1\n"s, "line 1: feature 2 is not a number"},
        {"1,2,1\n1,2,2\0junk\n"s, "line 2: the label must be a whole number from 1 to 500"},
        {"1,2,2147483648\n", "line 1: the label must be a whole number from 1 to 500"},
    };
    std::string dir = temp_folder();
    for (const Case& c : cases) {
        write_text(dir + "bad.data", c.text);
        DataFile data;
        std::string printed;
        EXPECT_EQ(read_quietly(dir + "bad.data", 500, &data, &printed), DATA_BAD) << c.text;
        EXPECT_NE(printed.find(dir + "bad.data"), std::string::npos) << printed;
        EXPECT_NE(printed.find(c.message), std::string::npos) << printed;
    }
    DataFile data;
    std::string printed;
    EXPECT_EQ(read_quietly(dir + "missing.data", 500, &data, &printed), DATA_NO_FILE);
    EXPECT_EQ(printed, "");
}

TEST(DataFile, LongLines)
{
    std::string line, dir = temp_folder();
    for (int i = 0; i < 3000; ++i)
        line += "0.125,";
    write_text(dir + "long.data", line + "7\n" + line + "1\n");
    DataFile data;
    std::string printed;
    ASSERT_EQ(read_quietly(dir + "long.data", 500, &data, &printed), DATA_READ);
    EXPECT_EQ(data.features, 3000);
    EXPECT_EQ(data.values.back(), 0.125f);
    EXPECT_EQ(data.classes, (std::vector<int>{6, 0}));
}

// A 2-1-2 network with weights chosen to show the formats.
NetGraph* small_net()
{
    NetGraph* net = net_create(2, 1, 2, UNIT_LINEAR);
    const double hidden[2] = {0.5, -1.25}, hb[1] = {0.125};
    const double out[2] = {2.0, -0.0000004}, ob[2] = {1.0, -3.5};
    set_layer(net, 0, 1, hidden, hb);
    set_layer(net, 1, 2, out, ob);
    return net;
}

TEST(WeightsFile, ExactBytesOfBothForms)
{
    std::string dir = temp_folder();
    NetGraph* net = small_net();
    write_text(dir + "a.wts", net_weights_text(net, true));
    EXPECT_EQ(read_text(dir + "a.wts"),
              "2\n2\n3\n5\n3\n1\n1\n2\n"
              "0.500000 -1.250000 2.000000 -0.000000 1.000000 \n"
              "0.125000 1.000000 -3.500000 ");
    write_text(dir + "b.wts", net_weights_text(net, false));
    EXPECT_EQ(read_text(dir + "b.wts"),
              "2\n2\n3\n5\n0\n1\n2\n"
              "2 2 0 0 1 1 2 1 3 2 \n"
              "1 1 2 2 4 3 \n"
              "1 1 3 2 4 4 \n"
              "0.500000 -1.250000 2.000000 -0.000000 1.000000 \n"
              "0.125000 1.000000 -3.500000 ");
    free_net(net);
}

// The connections of a network as index tuples, for comparing two networks.
std::set<std::tuple<int, int, int, int>> connections(const NetGraph* net)
{
    std::set<std::tuple<int, int, int, int>> out;
    for (int i = 0; i < net->unitCount; ++i) {
        const NetUnit* u = net->units[i];
        for (int j = 0; j < u->fanIn; ++j)
            out.insert({i, 0, int(u->inputWeights[j] - net->weights), int(u->inputSlots[j] - net->activations)});
        for (int k = 0; k < u->fanOut; ++k)
            out.insert({i, 1, int(u->downstreamWeights[k] - net->weights), int(u->downstreamDeltas[k] - net->deltas)});
    }
    return out;
}

TEST(WeightsFile, RoundTripsInBothForms)
{
    std::string dir = temp_folder();
    NetGraph* deep = layered_net({3, 4, 2, 3}, UNIT_TANH);
    ASSERT_NE(deep, nullptr);
    for (int w = 0; w + 1 < deep->weightCount; ++w)
        deep->weights[w] = static_cast<float>(std::sin(w * 0.77));
    for (int i = 0; i < deep->unitCount; ++i)
        deep->units[i]->bias = static_cast<float>(std::cos(i * 1.3));
    for (bool layered : {true, false}) {
        std::string path = dir + (layered ? "l.wts" : "e.wts");
        write_text(path, net_weights_text(deep, layered));
        NetGraph back;
        ASSERT_EQ(net_read(&back, path), layered ? 4 : 0);
        EXPECT_EQ(back.outputKind, UNIT_TANH);
        EXPECT_EQ(connections(&back), connections(deep));
        for (int w = 0; w < deep->weightCount; ++w)
            EXPECT_NEAR(back.weights[w], deep->weights[w], 5e-7);
        for (int i = 0; i < deep->unitCount; ++i) {
            EXPECT_NEAR(back.units[i]->bias, deep->units[i]->bias, 5e-7);
            EXPECT_EQ(back.units[i]->kind, i < 6 ? UNIT_SIGMOID : UNIT_TANH);
        }
        const float x[3] = {0.2f, -0.4f, 0.9f};
        std::vector<float> expected(net_forward(deep, x), net_forward(deep, x) + 3);
        const float* got = net_forward(&back, x);
        for (int j = 0; j < 3; ++j)
            EXPECT_NEAR(got[j], expected[j], 1e-5);
        std::string again = dir + "again.wts";
        write_text(again, net_weights_text(&back, layered));
        EXPECT_EQ(read_text(again), read_text(path));
        net_destroy(&back);
    }
    free_net(deep);
}

TEST(WeightsFile, FlagZeroGivesRandomWeightsOfTheShape)
{
    std::string dir = temp_folder();
    write_text(dir + "r.wts", "3\n2\n6\n21\n3\n4\n0\n1\n");
    NetGraph net;
    ASSERT_EQ(net_read(&net, dir + "r.wts"), 3);
    EXPECT_EQ(net.layerSizes[1], 4);
    EXPECT_EQ(net.weights[20], 1.0f);
    for (int w = 0; w < 20; ++w)
        EXPECT_LE(std::fabs(net.weights[w]), 0.05f);
    net_destroy(&net);
}

TEST(WeightsFile, RefusesDamagedFiles)
{
    const std::string good_tail = "0.1 0.2 0.3 0.4 1.0 \n0.1 0.2 0.3 ";
    struct Case {
        std::string text;
        const char* message;
    } cases[] = {
        {"2\n2\n3\n5\n3\n1\n1\n2\n0.1 0.2 0.3 0.4 1.0 \n0.1 0.2 ", "too few"},
        {"2\n2\n3\n5\n3\n1\n1\n2\n0.1 0.2 x 0.4 1.0 \n0.1 0.2 0.3 ", "malformed weights"},
        {"2\n2\n3\n6\n3\n1\n1\n2\n" + good_tail, "do not agree"},
        {"2\n2\n4\n5\n3\n1\n1\n2\n" + good_tail, "do not agree"},
        {"2\n2\n3\n5\n3\n-1\n1\n2\n" + good_tail, "bad layer size"},
        {"-2\n2\n3\n5\n3\n1\n1\n2\n" + good_tail, "bad counts"},
        {"2\n2\n3\n5\n1\n1\n1\n2\n" + good_tail, "bad layer count"},
        {"2\n2\n3\n5\n3\n1\n1\n5\n" + good_tail, "output kind"},
        {"2\n2\n3\n5\n3\n1\n1\n-1\n" + good_tail, "output kind"},
        {"2\n2\n3\n", "header"},
        {"2\n2\n3\n5\n0\n1\n2\n2 2 0 0 1 1 2 3 3 4 \n1 1 2 2 4 1 \n1 1 3 2 4 9 \n" + good_tail,
         "bad connections of unit 2"},
        {"2\n2\n3\n5\n0\n1\n2\n2 2 0 0 7 1 2 3 3 4 \n" + good_tail, "bad connections of unit 0"},
        {"2\n2\n3\n5\n0\n1\n2\n2 2 0 0 1 9 2 3 3 4 \n" + good_tail, "bad connections of unit 0"},
        {"2\n2\n3\n5\n0\n1\n2\n-1 2 \n" + good_tail, "bad connections of unit 0"},
        {"2\n2\n3\n5\n0\n1\n2\n2000000000 2 \n" + good_tail, "bad connections of unit 0"},
        {"2\n2\n3\n2000000000\n3\n1\n1\n2\n" + good_tail, "fewer values"},
        {"2\n2\n3\n2000000000\n0\n1\n2\n" + good_tail, "fewer values"},
        // A NUL byte inside a weight.
        {std::string("2\n2\n3\n5\n3\n1\n1\n2\n0.1 0.2 0.3 0.4 1.0 \n0.1 0.2 0.3\0x ", 51),
         "malformed weights"},
        // Counts the file cannot back, refused before anything is allocated:
        // an explicit flag-0 file of 36 bytes claiming 5,000,000 weights, and
        // outputs beyond the 500 labels (a 30-byte file claiming 50,000 would
        // ask nettest for two 10 GB confusion matrices).
        {"2\n2\n3\n5000000\n0\n0\n2\n2 2 0 0 1 1 2 3 3 4 \n", "more weights than the file"},
        {"1\n50000\n50000\n50001\n2\n0\n0\n", "the output count must be from 1 to 500"},
        {"1\n501\n501\n502\n2\n0\n0\n", "the output count must be from 1 to 500"},
    };
    std::string dir = temp_folder();
    for (const Case& c : cases) {
        write_text(dir + "bad.wts", c.text);
        NetGraph net;
        testing::internal::CaptureStdout();
        EXPECT_EQ(net_read(&net, dir + "bad.wts"), -2) << c.text;
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find(dir + "bad.wts"), std::string::npos) << printed;
        EXPECT_NE(printed.find(c.message), std::string::npos) << printed << " for " << c.text;
        EXPECT_EQ(net.units, nullptr);
    }
    NetGraph net;
    testing::internal::CaptureStdout();
    EXPECT_EQ(net_read(&net, dir + "none.wts"), -1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Error in weightsfile " + dir + "none.wts: No such file or directory!\n");
}

TEST(NormalizationFile, MeansScalesAndRefusals)
{
    std::string dir = temp_folder();
    NetGraph* net = net_create(3, 0, 1, UNIT_LINEAR);
    write_text(dir + "n.trf", "1, 2 3\n0.5\t0,4\n");
    ASSERT_EQ(net_read_normalization(net, dir + "n.trf"), 1);
    ASSERT_NE(net->normalization, nullptr);
    const float x[3] = {2.0f, 7.0f, 5.0f};
    net_forward(net, x);
    EXPECT_EQ(net->activations[0], 2.0f);  // (2 - 1) / 0.5
    EXPECT_EQ(net->activations[1], 0.0f);  // scale 0: a constant 0
    EXPECT_EQ(net->activations[2], 0.5f);  // (5 - 3) / 4
    // The reciprocal of the scale as written, not of its float: for 1.1 and
    // 2.3 the two differ in the last place.
    write_text(dir + "r.trf", "0 0 0\n1.1 2.3 4\n");
    ASSERT_EQ(net_read_normalization(net, dir + "r.trf"), 1);
    const float ones[3] = {1.0f, 1.0f, 1.0f};
    net_forward(net, ones);
    EXPECT_EQ(net->activations[0], static_cast<float>(1.0 / 1.1));
    EXPECT_EQ(net->activations[1], static_cast<float>(1.0 / 2.3));
    EXPECT_EQ(net->activations[2], 0.25f);
    // A scale of 1e-40 is a float, but its reciprocal is not.
    const struct {
        const char* text;
        const char* message;
    } bad[] = {
        {"1 2\n1 1 1\n", "two lines of 3 numbers"},
        {"1 2 3\n", "two lines of 3 numbers"},
        {"1 2 3\n1 x 1\n", "two lines of 3 numbers"},
        {"0 0 0\n1 1e-40 1\n", "scale 2 is too small for its reciprocal to be finite"},
    };
    for (const auto& c : bad) {
        write_text(dir + "bad.trf", c.text);
        testing::internal::CaptureStdout();
        EXPECT_EQ(net_read_normalization(net, dir + "bad.trf"), 0) << c.text;
        std::string printed = testing::internal::GetCapturedStdout();
        EXPECT_NE(printed.find(dir + "bad.trf"), std::string::npos) << printed;
        EXPECT_NE(printed.find(c.message), std::string::npos) << printed;
    }
    EXPECT_EQ(net->normalization[4], static_cast<float>(1.0 / 2.3)) << "the table before stays";
    EXPECT_EQ(net_read_normalization(net, ""), 1);
    EXPECT_EQ(net_read_normalization(net, dir + "none.trf"), 1);
    free_net(net);
}

TEST(ClassFrequencies, WriteAndRead)
{
    std::string dir = temp_folder();
    const int counts[3] = {4, 0, 7};
    write_text(dir + "a.fre", class_frequencies_text(3, counts));
    EXPECT_EQ(read_text(dir + "a.fre"), "3\n4\n0\n7\n11\n");
    std::vector<int> back;
    EXPECT_EQ(read_class_frequencies(dir + "a.fre", 3, &back), 0);
    EXPECT_EQ(back, (std::vector<int>{4, 0, 7}));
    EXPECT_EQ(read_class_frequencies(dir + "a.fre", 4, &back), 2);
    EXPECT_EQ(read_class_frequencies(dir + "none.fre", 3, &back), 1);
    write_text(dir + "b.fre", "3\n4\n");
    EXPECT_EQ(read_class_frequencies(dir + "b.fre", 3, &back), 3);
    write_text(dir + "c.fre", "3\n4\n-1\n2\n");
    EXPECT_EQ(read_class_frequencies(dir + "c.fre", 3, &back), 3);
}

// A NUL byte ends the C conversion early; the field is refused as a whole.
TEST(TextFields, NulBytesAreRefused)
{
    using namespace std::string_literals;
    double value = 0.0;
    int whole = 0;
    EXPECT_FALSE(parse_real("\0xyz"s, &value));
    EXPECT_FALSE(parse_real("1.5\0"s, &value));
    EXPECT_FALSE(parse_whole("2\0junk"s, &whole));
}

// Flag 0 in the explicit form: the weights no unit takes as an input get the
// draws that follow the units' own, not whatever the memory held. The unit
// lines use weights 0 to 3 of 30; the units draw 3 + 2 + 2 values (last unit
// first), so weights 4 to 28 take draws 8 to 32 of the seeded generator.
TEST(WeightsFile, FlagZeroExplicitGivesEveryWeightAValue)
{
    std::string dir = temp_folder();
    write_text(dir + "x.wts", "2\n2\n3\n30\n0\n0\n2\n"
                              "2 2 0 0 1 1 2 3 3 4 \n1 1 2 2 29 3 \n1 1 3 2 29 4 \n");
    set_seed_clock([]() -> unsigned { return 31u; });
    NetGraph net;
    ASSERT_EQ(net_read(&net, dir + "x.wts"), 0);
    set_seed_clock(nullptr);
    seed_random15(31u);
    std::vector<float> draws;
    for (int d = 0; d < 32; ++d)
        draws.push_back(static_cast<float>(random15() * 0.1 * (1.0 / 32767) - 0.05));
    EXPECT_EQ(net.units[0]->bias, draws[6]);
    for (int w = 4; w < 29; ++w)
        EXPECT_EQ(net.weights[w], draws[w + 3]) << w;
    EXPECT_EQ(net.weights[29], 1.0f);
    net_destroy(&net);
}

// A file that claims more inputs than the caller can feed is read for its
// shape alone: 33 bytes claiming 500,000,000 inputs allocate nothing.
TEST(WeightsFile, InputsBeyondTheCallersBoundGiveTheShapeOnly)
{
    std::string dir = temp_folder();
    write_text(dir + "big.wts", "500000000\n1\n3\n1000000003\n3\n2\n0\n1\n");
    NetGraph net;
    EXPECT_EQ(net_read(&net, dir + "big.wts", 6), NET_READ_SHAPE_ONLY);
    EXPECT_EQ(net.inputCount, 500000000);
    EXPECT_EQ(net.outputCount, 1);
    EXPECT_EQ(net.outputKind, UNIT_EXPONENTIAL);
    ASSERT_EQ(net.layerCount, 3);
    EXPECT_EQ(net.layerSizes[1], 2);
    EXPECT_EQ(net.activations, nullptr);
    EXPECT_EQ(net.weights, nullptr);
    EXPECT_EQ(net.units, nullptr);
    net_destroy(&net);
    write_text(dir + "six.wts", "6\n1\n1\n7\n2\n0\n0\n");
    EXPECT_EQ(net_read(&net, dir + "six.wts", 6), 2);
    net_destroy(&net);
}

// The largest output count that labels 1 to 500 can use is accepted.
TEST(WeightsFile, FiveHundredOutputsAreAccepted)
{
    std::string dir = temp_folder();
    write_text(dir + "max.wts", "1\n500\n500\n501\n2\n0\n0\n");
    NetGraph net;
    EXPECT_EQ(net_read(&net, dir + "max.wts"), 2);
    net_destroy(&net);
}

}  // namespace
