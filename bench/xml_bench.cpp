// Times a model file of N row elements, each with a list of 50 reals, through
// the exported functions: build, save, reopen, read back every row in order.
// Linear code costs about ten times as much for ten times the rows.
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "xml/xml_functions.h"

namespace {

constexpr int kColumns = 50;

double seconds_since(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void build(XMLParser** h, int rows)
{
    std::vector<double> values(kColumns);
    XMLcreateNewDoc(h, "BENCH");
    XMLchangeElement(h, "/BENCH");
    XMLaddChildElement(h, "parameters");
    for (int r = 1; r <= rows; ++r) {
        XMLchangeElement(h, "/BENCH/parameters");
        XMLaddChildElement(h, "row");
        XMLchangeElementWithNumber(h, "row", r);
        for (int c = 0; c < kColumns; ++c)
            values[c] = r + c / 64.0;
        XMLchangeOrAddDoubleArrayAttribute(h, "value", values.data(), kColumns, ",");
    }
}

// Reads every row back; returns the sum of all values as a check.
double read_back(XMLParser** h, int rows)
{
    std::vector<double> values(kColumns);
    double sum = 0;
    for (int r = 1; r <= rows; ++r) {
        XMLchangeElement(h, "/BENCH/parameters");
        if (!XMLchangeElementWithNumber(h, "row", r) ||
            XMLgetAttrArraySize(h, "value", ",") != kColumns)
            return -1;
        XMLgetAttrDoubleArrayValue(h, "value", values.data(), ",");
        for (double v : values)
            sum += v;
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string file = argc > 1 ? argv[1] : "xml_bench.xml";
    printf("%8s %10s %10s %10s %10s %10s\n", "rows", "build", "save", "open", "read", "total");
    for (int rows : {1000, 10000, 100000}) {
        XMLParser* h = nullptr;
        auto start = std::chrono::steady_clock::now();
        build(&h, rows);
        double t_build = seconds_since(start);
        auto mark = std::chrono::steady_clock::now();
        int saved = XMLsave(&h, file.c_str());
        double t_save = seconds_since(mark);
        XMLclose(&h);
        mark = std::chrono::steady_clock::now();
        int opened = XMLopen(&h, file.c_str());
        double t_open = seconds_since(mark);
        mark = std::chrono::steady_clock::now();
        double sum = read_back(&h, rows);
        double t_read = seconds_since(mark);
        XMLclose(&h);
        if (!saved || !opened || sum < 0) {
            fprintf(stderr, "xml_bench: round trip failed for %d rows\n", rows);
            return 1;
        }
        printf("%8d %9.3fs %9.3fs %9.3fs %9.3fs %9.3fs\n", rows, t_build, t_save, t_open, t_read,
               seconds_since(start));
    }
    remove(file.c_str());
    return 0;
}
