// neurnet documents and script functions: the checks a network document
// must pass, weights written and read back, init files, the race and
// process readers, and the refusals of the three script functions.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "plugins/neurnet/init_file.h"
#include "plugins/neurnet/network_document.h"
#include "support/random.h"
#include "tests/plugins/discriminant_test_helpers.h"
#include "xml/node.h"
#include "xml/path.h"

extern "C" void* NEURNETMakeInit(void** values, int* types, int count, int* resultType);
extern "C" void* NEURNETLearn(void** values, int* types, int count, int* resultType);
extern "C" void* NEURNETEvaluate(void** values, int* types, int count, int* resultType);

namespace {

std::string neuron(int id, const std::string& attributes)
{
    return "<neuron ID=\"" + std::to_string(id) + "\" " + attributes + "/>";
}

std::string layer(int id, int count, const std::string& neurons)
{
    return "<layer ID=\"" + std::to_string(id) + "\" NO=\"" + std::to_string(count) + "\">" +
           neurons + "</layer>";
}

// A network document with the given NEURNET attributes and layers, and
// (unless given) init_weights="no".
std::string network_xml(const std::string& attributes, const std::string& layers,
                        const std::string& general = "init_weights=\"no\"")
{
    return "<feed-forward_neural_network><history/><initial_settings><general " + general +
           "/></initial_settings><parameters><NEURNET " + attributes + ">" + layers +
           "</NEURNET></parameters></feed-forward_neural_network>";
}

// 2 inputs + bias, 2 outputs, fully connected.
std::string two_by_two(const std::string& weights1 = "out_weights=\"0.5 -1\"")
{
    return layer(1, 3, neuron(1, weights1) + neuron(2, "out_weights=\"2,3\"") +
                           neuron(3, "out_weights=\"0.25\t-0.75\"")) +
           layer(2, 2, neuron(1, "") + neuron(2, ""));
}

// Builds the network of a document text; the messages it printed go to *printed.
int build(const std::string& xml, Network** out, std::string* printed,
          std::string* saved = nullptr, bool capture = true)
{
    ScratchFolder folder;
    const std::string file = folder.path("net.xml");
    write_text(file, xml);
    XMLParser* document = nullptr;
    if (capture) testing::internal::CaptureStderr();
    int ok = XMLopen(&document, file.c_str()) ? network_from_xml(out, &document) : -1;
    if (saved && ok == 1) {
        XMLsave(&document, file.c_str());
        *saved = read_text(file);
    }
    if (capture) *printed = testing::internal::GetCapturedStderr();
    XMLclose(&document);
    return ok;
}

TEST(NeurnetDocument, Checks)
{
    const std::string full = "num_of_layers=\"2\" type=\"full\" bias=\"yes\"";
    const std::string sparse = "num_of_layers=\"2\" type=\"sparse\" bias=\"yes\"";
    const std::string out2 = layer(2, 2, neuron(1, "") + neuron(2, ""));
    struct Case {
        const char* name;
        std::string xml;
        int expected;       // 1 built, 0 refused
        const char* words;  // in the message of a refusal
    } cases[] = {
        {"full network", network_xml(full, two_by_two()), 1, ""},
        {"fewer layer elements than layers",
         network_xml("num_of_layers=\"3\" bias=\"yes\"", two_by_two()), 0, "3 layers"},
        {"missing layer ID",
         network_xml(full, layer(1, 3, neuron(1, "out_weights=\"1\"") + neuron(2, "out_weights=\"1\"") +
                                           neuron(3, "out_weights=\"1\"")) + layer(5, 2, neuron(1, "") + neuron(2, ""))),
         0, "layer 2: there is no layer"},
        {"a size the document does not hold",
         network_xml(full, layer(1, 3, neuron(1, "out_weights=\"1\"") + neuron(2, "out_weights=\"1\"") +
                                           neuron(3, "out_weights=\"1\"")) + layer(2, 2000000000, neuron(1, ""))),
         0, "layer 2: 2000000000 neurons"},
        {"missing neuron element",
         network_xml(full, layer(1, 3, neuron(1, "out_weights=\"1 1\"") + neuron(3, "out_weights=\"1 1\"") +
                                           neuron(4, "out_weights=\"1 1\"")) + out2),
         0, "layer 1, neuron 2: there is no neuron element"},
        {"neuron without out_weights", network_xml(full, two_by_two("nonlinearity=\"no\"")), 0,
         "layer 1, neuron 1"},
        {"more weights than next neurons", network_xml(full, two_by_two("out_weights=\"1 2 3\"")),
         0, "layer 1, neuron 1"},
        {"output neuron element missing",
         network_xml(full, layer(1, 3, neuron(1, "out_weights=\"1 1\"") + neuron(2, "out_weights=\"1 1\"") +
                                           neuron(3, "out_weights=\"1 1\"")) + layer(2, 2, neuron(1, "") + neuron(3, ""))),
         0, "layer 2, neuron 2"},
        {"sparse: fewer targets than weights",
         network_xml(sparse, two_by_two("out_weights=\"1 2\" out_connect=\"1\"")), 0,
         "layer 1, neuron 1"},
        {"sparse: target past the next layer",
         network_xml(sparse, layer(1, 3, neuron(1, "out_weights=\"1\" out_connect=\"2\"") +
                                            neuron(2, "out_weights=\"1\" out_connect=\"0\"") +
                                            neuron(3, "out_weights=\"\" out_connect=\"\"")) + out2),
         0, "target 2"},
        {"sparse: negative target",
         network_xml(sparse, layer(1, 3, neuron(1, "out_weights=\"1\" out_connect=\"-1\"") +
                                            neuron(2, "out_weights=\"1\" out_connect=\"0\"") +
                                            neuron(3, "out_weights=\"\" out_connect=\"\"")) + out2),
         0, "target -1"},
        {"no layers", network_xml("num_of_layers=\"0\"", ""), 0, "no layer"},
        {"a weight that is not a number", network_xml(full, two_by_two("out_weights=\"0.5 nan\"")),
         0, "layer 1, neuron 1: item 2 of \"out_weights\" (\"nan\") is not a finite number"},
        {"an infinite weight", network_xml(full, two_by_two("out_weights=\"-inf,1\"")), 0,
         "item 1 of \"out_weights\" (\"-inf\")"},
        {"a weight of text", network_xml(full, two_by_two("out_weights=\"abc 1\"")), 0,
         "(\"abc\") is not a finite number"},
        {"a weight with text after it", network_xml(full, two_by_two("out_weights=\"1 2x\"")), 0,
         "(\"2x\")"},
        {"sparse: a target of text",
         network_xml(sparse, two_by_two("out_weights=\"1 2\" out_connect=\"1 x\"")), 0,
         "item 2 of \"out_connect\" (\"x\") is not a neuron index"},
        {"sparse: a target that is no whole number",
         network_xml(sparse, two_by_two("out_weights=\"1\" out_connect=\"0.5\"")), 0,
         "(\"0.5\") is not a neuron index"},
        {"a layer count of text", network_xml("num_of_layers=\"abc\"", two_by_two()), 0,
         "NEURNET: \"num_of_layers\" (\"abc\") is not a whole number from 0 up\n"},
        {"an empty neuron count",
         network_xml(full, "<layer ID=\"1\" NO=\"\"/>" + out2), 0,
         "NEURNET layer 1: \"NO\" (\"\") is not a whole number"},
        {"a neuron count that is not a number",
         network_xml(full, layer(1, 3, neuron(1, "out_weights=\"1\"") + neuron(2, "out_weights=\"1\"") +
                                           neuron(3, "out_weights=\"1\"")) + "<layer ID=\"2\" NO=\"nan\"/>"),
         0, "NEURNET layer 2: \"NO\" (\"nan\")"},
        // Counts are whole numbers read as the real their text is, once.
        {"a hexadecimal layer count", network_xml("num_of_layers=\"0x2\" bias=\"yes\"", two_by_two()),
         1, "number of layers:2\n"},
        {"a layer count in exponent form", network_xml("num_of_layers=\"2e0\" bias=\"yes\"", two_by_two()),
         1, "number of layers:2\n"},
        {"a fractional layer count", network_xml("num_of_layers=\"1.5\"", two_by_two()), 0,
         "\"num_of_layers\" (\"1.5\") is not a whole number"},
        {"a layer count beyond int", network_xml("num_of_layers=\"1e300\"", two_by_two()), 0,
         "(\"1e300\") is not a whole number"},
        {"ten layers, as 1e1, in a document of two",
         network_xml("num_of_layers=\"1e1\"", two_by_two()), 0, "10 layers, but"},
        {"a fractional neuron count",
         network_xml(full, layer(1, 3, neuron(1, "out_weights=\"1\"") + neuron(2, "out_weights=\"1\"") +
                                           neuron(3, "out_weights=\"1\"")) + "<layer ID=\"2\" NO=\"5.7\"/>"),
         0,
         "NEURNET layer 2: \"NO\" (\"5.7\") is not a whole number"},
        {"a negative layer count", network_xml("num_of_layers=\"-1\"", ""), 0,
         "NEURNET: \"num_of_layers\" (\"-1\") is not a whole number from 0 up"},
        {"no layer count", network_xml("bias=\"yes\"", two_by_two()), 0,
         "NEURNET: there is no \"num_of_layers\" attribute"},
        {"no neuron count", network_xml(full, "<layer ID=\"1\"/>" + out2), 0,
         "NEURNET layer 1: there is no \"NO\" attribute"},
        {"a negative neuron count", network_xml(full, "<layer ID=\"1\" NO=\"-1\"/>" + out2), 0,
         "NEURNET layer 1: \"NO\" (\"-1\")"},
        {"no NEURNET element",
         "<feed-forward_neural_network><parameters/></feed-forward_neural_network>", 0,
         "there is no NEURNET element"},
        // A full network holds a weight for each connection.
        {"an empty weight list", network_xml(full, two_by_two("out_weights=\"\"")), 0,
         "layer 1, neuron 1: 0 weights; a full network has one per neuron of the next layer, 2"},
        {"a weight list one short", network_xml(full, two_by_two("out_weights=\"0.5\"")), 0,
         "layer 1, neuron 1: 1 weights"},
        {"one neuron of the layer a weight short",
         network_xml(full, layer(1, 3, neuron(1, "out_weights=\"1 2\"") + neuron(2, "out_weights=\"1\"") +
                                           neuron(3, "out_weights=\"1 2\"")) + out2),
         0, "layer 1, neuron 2: 1 weights"},
        {"into an inner layer, one short of all but its bias unit",
         network_xml("num_of_layers=\"3\" bias=\"yes\"",
                     layer(1, 1, neuron(1, "out_weights=\"1\"")) +
                         layer(2, 3, neuron(1, "out_weights=\"1\"") + neuron(2, "out_weights=\"1\"") +
                                         neuron(3, "out_weights=\"1\"")) +
                         layer(3, 1, neuron(1, ""))),
         0, "layer 1, neuron 1: 1 weights; a full network has 2 (the next layer's bias unit left "
            "out) or 3"},
        {"into an inner layer, weights differing from neuron to neuron",
         network_xml("num_of_layers=\"3\" bias=\"yes\"",
                     layer(1, 2, neuron(1, "out_weights=\"1 2\"") + neuron(2, "out_weights=\"1 2 3\"")) +
                         layer(2, 3, neuron(1, "out_weights=\"1\"") + neuron(2, "out_weights=\"1\"") +
                                         neuron(3, "out_weights=\"1\"")) +
                         layer(3, 1, neuron(1, ""))),
         0, "layer 1, neuron 2: 3 weights, where the layer's other neurons have 2"},
        {"bias unit without input neuron",
         network_xml("num_of_layers=\"2\" bias=\"yes\"", layer(1, 0, "") + out2), 0, "bias"},
    };
    for (const Case& c : cases) {
        Network* net = nullptr;
        std::string printed;
        EXPECT_EQ(build(c.xml, &net, &printed), c.expected) << c.name;
        EXPECT_NE(printed.find(c.words), std::string::npos) << c.name << ": " << printed;
        if (net) network_free(net);
    }
}

TEST(NeurnetDocument, ConnectionsAndBias)
{
    Network* net = nullptr;
    std::string printed;
    ASSERT_EQ(build(network_xml("num_of_layers=\"2\" type=\"full\" bias=\"yes\"", two_by_two()),
                    &net, &printed), 1);
    EXPECT_EQ(net->bias, 1);
    EXPECT_EQ(weight_count(net), 6);
    std::vector<double> w(6);
    get_weight_vector(net, w.data());
    EXPECT_EQ(w, (std::vector<double>{0.5, -1, 2, 3, 0.25, -0.75}));
    EXPECT_EQ(row_columns(net), 3);
    EXPECT_NE(printed.find("number of layers:2\nnumber of neurons=3\nnumber of neurons=2\n"),
              std::string::npos);
    network_free(net);
    // Sparse: targets as listed; "Yes" is not "yes", so every input takes a column.
    const std::string sparse = layer(1, 2, neuron(1, "out_weights=\"7\" out_connect=\"1\"") +
                                               neuron(2, "out_weights=\"8 9\" out_connect=\"1,0\"")) +
                               layer(2, 2, neuron(1, "") + neuron(2, ""));
    ASSERT_EQ(build(network_xml("num_of_layers=\"2\" type=\"sparse\" bias=\"Yes\"", sparse), &net,
                    &printed), 1);
    EXPECT_EQ(net->full, 0);
    EXPECT_EQ(net->bias, 0);
    EXPECT_EQ(net->layers[0].neurons[1].conns[0].target, 1);
    EXPECT_EQ(net->layers[0].neurons[1].conns[1].target, 0);
    EXPECT_EQ(row_columns(net), 3);
    network_free(net);
}

TEST(NeurnetDocument, RandomStartAndWeightRoundTrip)
{
    ScratchFolder folder;
    seed_random15(1);
    Network* net = nullptr;
    std::string printed, saved;
    ASSERT_EQ(build(network_xml("num_of_layers=\"2\" bias=\"yes\"", two_by_two(),
                                "init_weights=\"yes\""), &net, &printed, &saved), 1);
    EXPECT_NE(saved.find("init_weights=\"no\""), std::string::npos);
    // ((r mod 100) 0.01 - 0.5) 10 / sqrt(3) for the generator's first draws.
    seed_random15(1);
    const double s = 1 / std::sqrt(3.0);
    std::vector<double> w(6);
    get_weight_vector(net, w.data());
    for (double v : w) EXPECT_DOUBLE_EQ(v, ((random15() % 100) * 0.01 - 0.5) * s * 10);
    // Written with six decimals and read back.
    std::vector<double> chosen = {0.1234567, -2.5, 1e-7, 3, -0.0000004, 12345.6789};
    set_weight_vector(net, chosen.data());
    XMLParser* document = nullptr;
    const std::string file = folder.path("net.xml"), out = folder.path("trained.xml");
    write_text(file, network_xml("num_of_layers=\"2\" bias=\"yes\"", two_by_two()));
    testing::internal::CaptureStderr();
    ASSERT_TRUE(XMLopen(&document, file.c_str()));
    EXPECT_EQ(write_weights_to_xml(net, out.c_str(), &document), 1);
    EXPECT_EQ(write_weights_to_xml(net, folder.path("no/such/dir.xml").c_str(), &document), 0);
    printed = testing::internal::GetCapturedStderr();
    XMLclose(&document);
    EXPECT_NE(printed.find("writing out weights, weights are written out.\n"), std::string::npos);
    EXPECT_NE(printed.find("Could not write the output xml file\n"), std::string::npos);
    EXPECT_NE(read_text(out).find("out_weights=\" 0.123457 -2.500000\""), std::string::npos);
    Network* back = nullptr;
    ASSERT_EQ(build(read_text(out), &back, &printed), 1);
    get_weight_vector(back, w.data());
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(w[i], chosen[i], 5e-7 + 1e-12) << i;
    network_free(back);
    network_free(net);
}

// Layers and neurons are found by ID wherever they stand, the first of a
// repeated ID counting and an ID of another spelling ("01") none, both when
// the network is read and when its weights are written back.
TEST(NeurnetDocument, ElementsAreFoundByIdInAnyOrder)
{
    ScratchFolder folder;
    const std::string reversed =
        layer(2, 2, neuron(2, "") + neuron(1, "")) +
        layer(1, 3, "<neuron ID=\"01\" out_weights=\"8 8\"/>" +
                        neuron(3, "out_weights=\"0.25 -0.75\"") + neuron(2, "out_weights=\"2,3\"") +
                        neuron(1, "out_weights=\"0.5 -1\"") + neuron(1, "out_weights=\"9 9\""));
    Network* net = nullptr;
    std::string printed;
    ASSERT_EQ(build(network_xml("num_of_layers=\"2\" bias=\"yes\"", reversed), &net, &printed), 1);
    std::vector<double> w(6);
    get_weight_vector(net, w.data());
    EXPECT_EQ(w, (std::vector<double>{0.5, -1, 2, 3, 0.25, -0.75}));
    const std::vector<double> chosen = {1, 2, 3, 4, 5, 6};
    set_weight_vector(net, chosen.data());
    const std::string file = folder.path("net.xml");
    write_text(file, network_xml("num_of_layers=\"2\" bias=\"yes\"", reversed));
    XMLParser* document = nullptr;
    ASSERT_TRUE(XMLopen(&document, file.c_str()));
    testing::internal::CaptureStderr();
    EXPECT_EQ(write_weights_to_xml(net, file.c_str(), &document), 1);
    testing::internal::GetCapturedStderr();
    XMLclose(&document);
    network_free(net);
    const std::string saved = read_text(file);
    EXPECT_NE(saved.find("\"8 8\""), std::string::npos);
    EXPECT_NE(saved.find("\"9 9\""), std::string::npos);
    ASSERT_EQ(build(saved, &net, &printed), 1);
    get_weight_vector(net, w.data());
    EXPECT_EQ(w, chosen);
    network_free(net);
}

// Cursor steps (children looked at by number, by name or by ID) to load a
// [2, width, 2] network and write its weights back.
unsigned long long load_and_write_steps(int width)
{
    ScratchFolder folder;
    const std::string file = folder.path("wide.xml");
    write_init_file({2, width, 2}, file.c_str());
    XMLParser* document = nullptr;
    XMLopen(&document, file.c_str());
    const unsigned long long before = xml_scan_steps + xml_sibling_visits;
    Network* net = nullptr;
    testing::internal::CaptureStderr();
    EXPECT_EQ(network_from_xml(&net, &document), 1);
    if (net) {
        EXPECT_EQ(write_weights_to_xml(net, file.c_str(), &document), 1);
    }
    testing::internal::GetCapturedStderr();
    const unsigned long long steps = xml_scan_steps + xml_sibling_visits - before;
    if (net) network_free(net);
    XMLclose(&document);
    return steps;
}

// Each neuron used to be looked up by ID from its layer's first child, so
// a layer ten times as wide cost a hundred times the steps.
TEST(NeurnetDocument, LoadingAndWritingAreLinearInTheLayerWidth)
{
    const unsigned long long narrow = load_and_write_steps(400);
    const unsigned long long wide = load_and_write_steps(4000);
    EXPECT_GE(narrow, 400u);  // the count sees every neuron
    EXPECT_LE(wide, 12 * narrow) << narrow << " steps at width 400, " << wide << " at 4000";
}

// Layer sizes of an init file as written in its "layer_inf" attribute.
std::string layer_inf(const std::string& xml)
{
    const size_t at = xml.find("layer_inf=\"");
    return at == std::string::npos ? "" : xml.substr(at + 11, xml.find('"', at + 11) - at - 11);
}

// A 5-column database (4 features) with labels 1..3.
TestDatabase five_columns()
{
    return TestDatabase(3, 5, {0.1, 0.2, 0.3, 0.4, 1, 0.5, 0.6, 0.7, 0.8, 2, 0.9, 1.0, 1.1, 1.2, 3});
}

TEST(NeurnetScripts, MakeInitLayout)
{
    ScratchFolder folder;
    TestDatabase db = five_columns();
    const std::string file = folder.path("init.xml");
    int type = -1;
    testing::internal::CaptureStderr();
    void* result = call_script(NEURNETMakeInit, {matrix_argument(db), string_argument(file)}, &type);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, reinterpret_cast<void*>(1));
    EXPECT_EQ(type, VALUE_EMPTY);
    const std::string xml = read_text(file);
    EXPECT_NE(xml.find("num_of_layers=\"3\""), std::string::npos);
    EXPECT_EQ(layer_inf(xml), "4 7 3");
    EXPECT_EQ(count_of(xml, "NO=\"5\""), 1);
    EXPECT_EQ(count_of(xml, "NO=\"8\""), 1);
    EXPECT_EQ(count_of(xml, "NO=\"3\""), 1);
    EXPECT_EQ(count_of(xml, "out_weights=\"0 0 0 0 0 0 0\""), 5);
    EXPECT_EQ(count_of(xml, "out_weights=\"0 0 0\""), 8);
    EXPECT_EQ(count_of(xml, "<neuron"), 16);
    // The file builds a network whose rows are the database's.
    Network* net = nullptr;
    std::string printed;
    ASSERT_EQ(build(xml, &net, &printed), 1);
    EXPECT_EQ(row_columns(net), 5);
    EXPECT_EQ(weight_count(net), 5 * 7 + 8 * 3);
    network_free(net);

    struct Case {
        const char* settings;
        const char* sizes;  // "" when refused
    } cases[] = {
        {"layer_inf=10,5", "4 10 5 3"},   {"layer_inf=10, 5", "4 10 3"},
        {"layer_inf=", "4 3"},            {"layer_inf=10,,,5", "4 10 5 3"},
        {"a=1 layer_inf=2.9;", "4 2 3"},  {"no sizes here", "4 3"},
        {"layer_inf=-3", ""},             {"layer_inf=99999999999", ""},
        {"layer_inf=50000,50000", ""},
    };
    for (const Case& c : cases) {
        const std::string name = folder.path(std::string("i") + std::to_string(&c - cases) + ".xml");
        testing::internal::CaptureStderr();
        result = call_script(NEURNETMakeInit,
                             {matrix_argument(db), string_argument(name), string_argument(c.settings)},
                             &type);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, reinterpret_cast<void*>(*c.sizes ? 1 : 0)) << c.settings;
        EXPECT_EQ(layer_inf(read_text(name)), c.sizes) << c.settings;
    }
}

// Runs a script function with both streams captured; returns what it
// printed on standard error.
std::string quietly(ScriptFunction f, const std::vector<TestArgument>& args, void** result,
                    int* type)
{
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    *result = call_script(f, args, type);
    testing::internal::GetCapturedStdout();
    return testing::internal::GetCapturedStderr();
}

TEST(NeurnetScripts, Refusals)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    TestDatabase db = five_columns();
    void* result;
    int type;
    quietly(NEURNETMakeInit, {matrix_argument(db), string_argument(init)}, &result, &type);
    TestDatabase nan_row(2, 5, {0, 0, 0, 0, 1, 0, NAN, 0, 0, 2});
    TestDatabase zero_label(2, 5, {0, 0, 0, 0, 1, 0, 0, 0, 0, 0});
    TestDatabase narrow(1, 4, {0, 0, 0, 1});
    struct Case {
        ScriptFunction f;
        std::vector<TestArgument> args;
        const char* message;
    } cases[] = {
        {NEURNETMakeInit, {matrix_argument(db)}, "NEURNETMakeInit: there must be at least 2 parameters\n"},
        {NEURNETMakeInit, {string_argument("x"), string_argument(init)},
         "NEURNETMakeInit: 1st parameter must be a Matrix (a database matrix)"},
        {NEURNETMakeInit, {matrix_argument(db), string_argument(init), number_argument()},
         "NEURNETMakeInit: 3nd parameter must be a String (parameter name = value)"},
        {NEURNETMakeInit, {matrix_argument(nan_row), string_argument(out)}, "row 2"},
        {NEURNETLearn, {matrix_argument(db), string_argument(init)},
         "NEURNETLearn: there must be exactly 3 parameters\n"},
        {NEURNETLearn, {matrix_argument(db), string_argument(init), number_argument()},
         "NEURNETLearn: 3rd parameter must be a String (output filename)"},
        {NEURNETLearn, {matrix_argument(zero_label), string_argument(init), string_argument(out)},
         "row 2"},
        {NEURNETLearn, {matrix_argument(nan_row), string_argument(init), string_argument(out)},
         "row 2"},
        {NEURNETLearn, {matrix_argument(db), string_argument(folder.path("none.xml")),
                        string_argument(out)}, "NEURNETLearn: The init file name is not valid!\n"},
        {NEURNETLearn, {matrix_argument(narrow), string_argument(init), string_argument(out)},
         "NEURNETLearn: The learning database is not consistent with the structure of the neural network.\n"},
        {NEURNETEvaluate, {string_argument(init)}, "NEURNETEvaluate: there must be exactly 2 parameters\n"},
        {NEURNETEvaluate, {matrix_argument(db), matrix_argument(db)},
         "NEURNETEvaluate: 1st parameter must be a String (initfile name)"},
        {NEURNETEvaluate, {string_argument(init), matrix_argument(narrow)},
         "NEURNETEvaluate: The learning database is not consistent"},
        {NEURNETEvaluate, {string_argument(init), matrix_argument(nan_row)},
         "NEURNETEvaluate: row 2 of the result holds a value that is not a finite number\n"},
    };
    for (const Case& c : cases) {
        const std::string printed = quietly(c.f, c.args, &result, &type);
        EXPECT_EQ(result, nullptr) << c.message;
        EXPECT_EQ(type, VALUE_EMPTY) << c.message;
        EXPECT_NE(printed.find(c.message), std::string::npos) << c.message << " / " << printed;
    }
    EXPECT_FALSE(file_exists(out));  // nothing written by a refused call
}

// An init file for five_columns() with the given race and process elements.
// Every input neuron has the given out_weights.
std::string init_with(const std::string& general, const std::string& races,
                      const std::string& weights = "0 0 0")
{
    const std::string w = "out_weights=\"" + weights + "\"";
    std::string xml = network_xml(
        "num_of_layers=\"2\" bias=\"yes\"",
        layer(1, 5, neuron(1, w) + neuron(2, w) + neuron(3, w) + neuron(4, w) + neuron(5, w)) +
            layer(2, 3, neuron(1, "") + neuron(2, "") + neuron(3, "")),
        general);
    xml.insert(xml.find("</initial_settings>"), "<learning_set>" + races + "</learning_set>");
    return xml;
}

TEST(NeurnetScripts, RacesAndProcesses)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    TestDatabase db = five_columns();
    struct Case {
        const char* name;
        std::string general, races;
        std::vector<const char*> printed;  // in this order
        std::vector<const char*> written;  // in the output file
        int history_items;
        const char* absent = nullptr;      // a text that must not be printed
    } cases[] = {
        {"upper-case name runs back-propagation", "init_weights=\"no\"",
         "<learning max_iter_num=\"2\" auto_test_after_learning=\"yes\"><Back_PROPagation/></learning>",
         {"1 learning processes in this race\n", "*mean error:", "ratio:", "ratio:",
          "begin testing\n", "mean squared error(MSE): ", "weights are written out.\n"},
         {"<back_propagation"}, 1},
        {"unknown process reported and skipped", "init_weights=\"no\"",
         "<learning max_iter_num=\"1\"><quasi_newton/><conj_grad/></learning>",
         {"2 learning processes in this race\n", "quasi_newton", "*starting line search\n",
          "line search finished\n", "mean error:"}, {}, 0},
        {"three rows and a test share of 0.3: nothing tested",
         "init_weights=\"no\" test_on_learn_database=\"no\" test_database_ratio=\"0.3\"",
         "<learning max_iter_num=\"1\" auto_test_after_learning=\"yes\"><back/></learning>",
         {"mean error:", "ratio:0.000000"}, {}, 0},
        {"a memory beyond the iterations is never taken", "init_weights=\"no\"",
         "<learning max_iter_num=\"2\"><lbfgs_mx_repr m=\"200000\"/><lbfgs_2 m=\"200000\"/>"
         "</learning>",
         {"2 learning processes in this race\n", "*", "ratio:", "*", "ratio:",
          "weights are written out.\n"}, {}, 0, "error occured"},
        {"an upper-case \"No\" splits no test share off",
         "init_weights=\"no\" test_on_learn_database=\"No\" test_database_ratio=\"0.3\"",
         "<learning max_iter_num=\"1\" auto_test_after_learning=\"yes\"><back/></learning>",
         {"mean error:", "begin testing"}, {}, 1},
        {"only learning elements are races", "init_weights=\"no\"",
         "<note/><learning max_iter_num=\"1\" auto_test_after_learning=\"yes\"><back/>"
         "</learning><remark max_iter_num=\"1\"><back/></remark>",
         {"1 learning processes in this race\n", "*mean error:", "begin testing"}, {}, 1,
         "0 learning processes"},
    };
    for (const Case& c : cases) {
        write_text(init, init_with(c.general, c.races));
        std::remove(out.c_str());
        void* result;
        int type;
        const std::string printed = quietly(
            NEURNETLearn, {matrix_argument(db), string_argument(init), string_argument(out)},
            &result, &type);
        EXPECT_EQ(result, reinterpret_cast<void*>(1)) << c.name;
        size_t at = 0;
        for (const char* text : c.printed) {
            at = printed.find(text, at);
            EXPECT_NE(at, std::string::npos) << c.name << ": " << text << " in\n" << printed;
        }
        const std::string written = read_text(out);
        for (const char* text : c.written) EXPECT_NE(written.find(text), std::string::npos) << c.name;
        EXPECT_EQ(count_of(written, "mean_sq_error="), c.history_items) << c.name;
        if (c.absent) {
            EXPECT_EQ(printed.find(c.absent), std::string::npos) << c.name << "\n" << printed;
        }
    }
}

// Learn with an init file for five_columns(); what it printed.
std::string learn(const std::string& init, const std::string& out, const std::string& xml,
                  void** result, TestDatabase* rows = nullptr)
{
    TestDatabase five = five_columns();
    TestDatabase& db = rows ? *rows : five;
    write_text(init, xml);
    int type;
    return quietly(NEURNETLearn, {matrix_argument(db), string_argument(init),
                                  string_argument(out)}, result, &type);
}

TEST(NeurnetScripts, RefusedSettingsTrainNothing)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    const std::string back = "<learning max_iter_num=\"1\"><back/></learning>";
    const std::string split = "init_weights=\"no\" test_on_learn_database=\"no\" ";
    struct Case {
        std::string general, races;
        const char* message;
    } cases[] = {
        {"init_weights=\"no\"",
         "<learning max_iter_num=\"1\" error_function=\"minkowski\" minkovski_R=\"inf\"><back/>"
         "</learning>",
         "NEURNETLearn: race 1: minkovski_R (\"inf\") is not a finite number\n"},
        {"init_weights=\"no\"",
         "<learning max_iter_num=\"1\" error_function=\"minkowski\" minkovski_R=\"0\"><back/>"
         "</learning>",
         "NEURNETLearn: race 1: minkovski_R (\"0\") must be a finite number above 0\n"},
        {"init_weights=\"no\"", back + "<learning max_iter_num=\"abc\"><back/></learning>",
         "NEURNETLearn: race 2: max_iter_num (\"abc\") is not a whole number within the range of "
         "an int\n"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1.5\"><back/></learning>",
         "race 1: max_iter_num (\"1.5\") is not a whole number"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1e300\"><back/></learning>",
         "race 1: max_iter_num (\"1e300\") is not a whole number"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"-2147483649\"><back/></learning>",
         "race 1: max_iter_num (\"-2147483649\") is not a whole number"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1\"><lbfgs_2 m=\"0.5\"/></learning>",
         "process lbfgs_2: m (\"0.5\") is not a whole number"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1\"><lbfgs_m m=\"1e300\"/></learning>",
         "process lbfgs_m: m (\"1e300\") is not a whole number"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1\" break_if_test_ratio=\"nan\"><back/></learning>",
         "race 1: break_if_test_ratio (\"nan\")"},
        {split + "test_database_ratio=\"nan\"", back,
         "NEURNETLearn: general: test_database_ratio (\"nan\") is not a finite number\n"},
        {split + "test_database_ratio=\"1.5\"", back,
         "NEURNETLearn: general: test_database_ratio (\"1.5\") must be a number from 0 up to "
         "but not including 1\n"},
        {split + "test_database_ratio=\"-0.5\"", back, "test_database_ratio (\"-0.5\") must"},
        {split + "test_database_ratio=\"5\"", back, "test_database_ratio (\"5\") must"},
        {split + "test_database_ratio=\"0.9\"", back,
         "NEURNETLearn: no row of the 3 in the database is left to learn from\n"},
        {"init_weights=\"no\"",
         "<learning max_iter_num=\"1\"><Back_Propagation learning_rate=\"abc\"/></learning>",
         "NEURNETLearn: race 1, process back_propagation: learning_rate (\"abc\") is not a "
         "finite number\n"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1\"><back error_level=\"inf\"/></learning>",
         "process back: error_level (\"inf\")"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1\"><conj alpha0=\"\"/></learning>",
         "process conj: alpha0 (\"\") is not a finite number"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1\"><lbfgs_2 m=\"7 x\"/></learning>",
         "process lbfgs_2: m (\"7 x\")"},
        {"init_weights=\"no\"", back + "<learning max_iter_num=\"1\"><lbfgs_2loop max_jump=\"0\"/></learning>",
         "NEURNETLearn: race 2, process lbfgs_2loop: max_jump must be above 0\n"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1\"><conj alpha_multiplier=\"1\"/></learning>",
         "process conj: alpha_multiplier must lie between 0 and 1\n"},
        {"init_weights=\"no\"", "<learning max_iter_num=\"1\"><lbfgs_mx_repr m=\"0\"/></learning>",
         "process lbfgs_mx_repr: m must be 1 or more\n"},
    };
    for (const Case& c : cases) {
        void* result = nullptr;
        const std::string printed = learn(init, out, init_with(c.general, c.races), &result);
        EXPECT_EQ(result, nullptr) << c.message;
        EXPECT_NE(printed.find(c.message), std::string::npos) << c.message << "\n" << printed;
        // Refused before anything is trained: no race started, no file.
        EXPECT_EQ(printed.find("learning processes in this race"), std::string::npos) << printed;
        EXPECT_FALSE(file_exists(out)) << c.message;
    }
}

TEST(NeurnetScripts, DivergedTrainingIsNotSaved)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    // Steps of 1e308 overflow the weights in the first epochs. With no
    // iteration limit only the divergence itself can end the process.
    for (const char* limit : {"5", "0"}) {
        write_text(out, "previous");
        void* result = nullptr;
        const std::string printed = learn(
            init, out,
            init_with("init_weights=\"yes\"",
                      std::string("<learning max_iter_num=\"") + limit +
                          "\"><back learning_rate=\"1e308\" momentum_factor=\"1e308\"/><lbfgs_2/>"
                          "</learning>"),
            &result);
        EXPECT_EQ(result, nullptr) << limit;
        EXPECT_NE(printed.find("NEURNETLearn: race 1, process back: the weights are no longer "
                               "finite numbers; the network is not saved\n"),
                  std::string::npos) << printed;
        EXPECT_EQ(printed.find("starting line search"), std::string::npos);  // lbfgs_2 not run
        EXPECT_EQ(read_text(out), "previous") << limit;
    }
}

TEST(NeurnetScripts, LostSavesAreFailures)
{
    ScratchFolder folder;
    TestDatabase db = five_columns();
    void* result = nullptr;
    int type;
    const std::string printed = quietly(
        NEURNETMakeInit, {matrix_argument(db), string_argument(folder.path("no/such/folder.xml"))},
        &result, &type);
    EXPECT_EQ(result, nullptr);
    EXPECT_NE(printed.find("could not save the init. XML file\n"), std::string::npos);
}

// An output that no save could replace or create is refused before
// anything trains, and a file there keeps what it held.
TEST(NeurnetScripts, UnwritableOutputIsRefusedBeforeTraining)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml");
    const std::string read_only = folder.path("read-only.xml"), dangling = folder.path("dangling");
    write_text(read_only, "kept");
    chmod(read_only.c_str(), 0444);
    ASSERT_EQ(symlink("gone/out.xml", dangling.c_str()), 0);
    struct Case {
        std::string output;
        const char* why;
    } cases[] = {
        {folder.path("no/such/out.xml"), "No such file or directory"},
        {"", "the file name is empty"},
        {dangling, "No such file or directory"},
        {folder.path(""), "Is a directory"},
        {read_only, "Permission denied"},
    };
    for (const Case& c : cases) {
        if (c.output == read_only && geteuid() == 0) continue;  // the superuser writes anything
        void* result = nullptr;
        const std::string printed = learn(
            init, c.output,
            init_with("init_weights=\"no\"", "<learning max_iter_num=\"1\"><back/></learning>"),
            &result);
        EXPECT_EQ(result, nullptr) << c.output;
        EXPECT_EQ(printed, "NEURNETLearn: the output file '" + c.output + "' cannot be written: " +
                               c.why + "; nothing is trained\n");
    }
    EXPECT_EQ(read_text(read_only), "kept");
}

// Each race is saved once, history item and weights together. A save that
// fails (here at a file-size limit that the init document with a history
// item would fit, but not the trained weights) leaves the earlier file as
// it was; it used to be replaced by the untrained network marked as tested.
TEST(NeurnetScripts, FailedSaveKeepsTheEarlierFile)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    const std::string xml = init_with(
        "init_weights=\"no\"",
        "<learning max_iter_num=\"3\" auto_test_after_learning=\"yes\"><back/></learning>");
    void* result = nullptr;
    learn(init, out, xml, &result);
    ASSERT_EQ(result, reinterpret_cast<void*>(1));
    const long trained = static_cast<long>(read_text(out).size());
    const std::string earlier = "<feed-forward_neural_network/>";
    write_text(out, earlier);
    int status = -1;
    const std::string said = stderr_under_file_size_limit(trained - 1, [&] {
        TestDatabase db = five_columns();
        int type;
        void* again = call_script(NEURNETLearn, {matrix_argument(db), string_argument(init),
                                                 string_argument(out)}, &type);
        std::fprintf(stderr, "result %d\n", again ? 1 : 0);
    }, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(said.find("Could not write the output xml file\nNEURNETLearn: race 1 is not saved; '" +
                        out + "' keeps what it held\n"), std::string::npos) << said;
    EXPECT_NE(said.find("result 0\n"), std::string::npos);
    EXPECT_EQ(read_text(out), earlier);
}

// Whole-number settings are read as the number that was validated.
TEST(NeurnetScripts, WholeNumberSettingsAreReadAsValidated)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    struct Case {
        const char* races;
        int epochs;  // lines of "mean error:"
    } cases[] = {
        {"<learning max_iter_num=\"0x10\"><back/></learning>", 16},
        {"<learning max_iter_num=\"1e1\"><back/></learning>", 10},
        {"<learning max_iter_num=\"2.5e1\"><back/></learning>", 25},
        // No limit: the error level ends it.
        {"<learning max_iter_num=\"-1\"><back error_level=\"1e9\"/></learning>", 1},
        {"<learning max_iter_num=\"3\"><lbfgs_2loop m=\"1e1\"/><lbfgs_mx m=\"0x2\"/></learning>", 6},
    };
    for (const Case& c : cases) {
        void* result = nullptr;
        const std::string printed = learn(init, out, init_with("init_weights=\"yes\"", c.races),
                                          &result);
        EXPECT_EQ(result, reinterpret_cast<void*>(1)) << c.races << "\n" << printed;
        EXPECT_EQ(count_of(printed, "mean error:"), c.epochs) << c.races;
    }
}

// A process whose units are saturated (outputs exactly 0 or 1) has a
// gradient of exact zeros under the squared and Minkowski errors, and an
// infinite cross entropy. Without an iteration limit the first used to
// repeat the same point for ever, and the second to train from an infinite
// error; now the first stops after a step that changed no weight and is
// saved, the second trains nothing and writes nothing.
TEST(NeurnetScripts, ProcessesThatCannotMoveEnd)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    const std::string saturated = "1000 1000 1000";
    for (const char* process : {"back", "conj", "lbfgs_2loop", "lbfgs_mx_repr"}) {
        for (const char* error : {"tse", "minkowski", "cross entropy"}) {
            std::remove(out.c_str());
            const bool infinite = std::string(error) == "cross entropy";
            void* result = nullptr;
            const std::string printed = learn(
                init, out,
                init_with("init_weights=\"no\"",
                          std::string("<learning max_iter_num=\"0\" error_function=\"") + error +
                              "\"><" + process + "/></learning>",
                          saturated),
                &result);
            const std::string name = std::string(process) + ", " + error;
            EXPECT_EQ(result, reinterpret_cast<void*>(infinite ? 0 : 1)) << name;
            EXPECT_EQ(file_exists(out), !infinite) << name;
            const char* said = infinite ? "the error at the start of the process is not a finite "
                                          "number; nothing is trained\nerror occured\n"
                               : std::string(process) == "back"
                                   ? "no weight changed in this epoch: the process stops\n"
                                   : "no weight changed in this step: the process stops\n";
            EXPECT_NE(printed.find(said), std::string::npos) << name << "\n" << printed;
            EXPECT_EQ(count_of(printed, "mean error:"), infinite ? 0 : 1) << name;
        }
    }
}

// Weights of 16 leave the first row's outputs 4e-11 short of 1: every step
// moves some weight but no longer the error, so only the count of steps
// without a new lowest error ends the process, which the history records;
// an iteration limit beyond that count is kept to the step.
TEST(NeurnetScripts, ProcessesThatStallEnd)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    for (const std::string process : {"back", "conj", "lbfgs_2loop", "lbfgs_mx_repr"})
        for (const std::string error : {"tse", "minkowski"})
            for (int limit : {0, stall_steps + 5}) {
                if (limit > 0 && process + error != "backtse") continue;
                SCOPED_TRACE(process + ", " + error + ", " + std::to_string(limit));
                void* result = nullptr;
                const std::string printed = learn(
                    init, out, init_with("init_weights=\"no\"", "<learning max_iter_num=\"" +
                        std::to_string(limit) + "\" error_function=\"" + error + "\"><" +
                        process + "/></learning>", "16 16 16"), &result);
                EXPECT_EQ(result, reinterpret_cast<void*>(1));
                EXPECT_EQ(count_of(printed, "mean error:"), limit ? limit : stall_steps);
                EXPECT_EQ(count_of(printed, stall_text() + ": the process stops\n"), !limit);
                EXPECT_EQ(count_of(read_text(out), "stopped=\"" + stall_text() + "\""), !limit);
            }
}

// Weights of 1e308 on inputs of 2 and -2 give outputs that are no numbers:
// no process trains from them, and a test of them is not saved as history.
TEST(NeurnetScripts, OutputsThatAreNoNumbersAreNeitherTrainedNorSaved)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    TestDatabase db(3, 5, {2, -2, 0, 0, 1, 2, -2, 0, 0, 2, 2, -2, 0, 0, 3});
    struct Case {
        const char* races;
        const char* message;
    } cases[] = {
        {"<learning><back/></learning>", "the error at the start of the process is not a finite"},
        {"<learning><lbfgs_2/></learning>", "the error at the start of the process is not a finite"},
        {"<learning auto_test_after_learning=\"yes\"/>",
         "NEURNETLearn: race 1: the network's outputs on the test rows are not finite numbers; "
         "the race is not saved\n"},
    };
    for (const Case& c : cases) {
        void* result = nullptr;
        const std::string printed =
            learn(init, out, init_with("init_weights=\"no\"", c.races, "1e308 1e308 1e308"),
                  &result, &db);
        EXPECT_EQ(result, nullptr) << c.races;
        EXPECT_NE(printed.find(c.message), std::string::npos) << c.races << "\n" << printed;
        EXPECT_FALSE(file_exists(out)) << c.races;
    }
}

// With no iteration limit the stores are taken for the whole m: one that
// no machine can serve ends the process through the out-of-memory path.
TEST(NeurnetScripts, MemoryBeyondTheSystemIsRefused)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml"), out = folder.path("out.xml");
    for (const char* process : {"lbfgs_2loop", "lbfgs_mx_repr"}) {
        void* result = nullptr;
        const std::string printed = learn(
            init, out,
            init_with("init_weights=\"no\"",
                      std::string("<learning max_iter_num=\"0\"><") + process +
                          " m=\"2000000000\" error_level=\"1e9\"/></learning>"),
            &result);
        EXPECT_EQ(result, nullptr) << process;
        EXPECT_NE(printed.find("a memory of 2000000000 correction pairs for 15 weights would not "
                               "fit\nout of memory\nerror occured\n"),
                  std::string::npos) << process << "\n" << printed;
        EXPECT_FALSE(file_exists(out)) << process;
    }
}

TEST(NeurnetScripts, EvaluateShape)
{
    ScratchFolder folder;
    const std::string init = folder.path("init.xml");
    TestDatabase db = five_columns();
    void* result;
    int type;
    quietly(NEURNETMakeInit, {matrix_argument(db), string_argument(init)}, &result, &type);
    db.values[9] = 2.7;    // a label truncated in the result
    db.values[14] = -0.5;  // truncated to a plain 0, not -0
    quietly(NEURNETEvaluate, {string_argument(init), matrix_argument(db)}, &result, &type);
    ASSERT_NE(result, nullptr);
    EXPECT_EQ(type, VALUE_MATRIX);
    auto* m = static_cast<DataMatrix*>(result);
    ASSERT_EQ(m->rows, 3);
    ASSERT_EQ(m->cols, 3 + 1);
    EXPECT_EQ(m->data[3], 1.0);
    EXPECT_EQ(m->data[7], 2.0);
    EXPECT_EQ(m->data[11], 0.0);
    EXPECT_FALSE(std::signbit(m->data[11]));
    for (int k = 0; k < 3; ++k) {
        EXPECT_GT(m->data[k], 0.0);  // random weights drawn on loading: logistic outputs
        EXPECT_LT(m->data[k], 1.0);
    }
    free(m->data);
    free(m);
}

}  // namespace
