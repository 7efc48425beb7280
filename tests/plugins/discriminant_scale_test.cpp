// Both linear discriminant plug-ins on iris scaled as a whole and column by
// column: the stored directions are those of the data as given, whatever its
// scale, and no direction is lost.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "tests/plugins/discriminant_test_helpers.h"

extern "C" void* compute_flatdisc(void** values, int* types, int count, int* resultType);
extern "C" void* compute_groupfold(void** values, int* types, int count, int* resultType);

namespace {

const int IRIS_COLUMNS = 5;

// The iris rows (four features, then the label), read from the end-to-end case.
std::vector<double> iris()
{
    return read_numbers(std::string(TOOLKIT_SOURCE_DIR) + "/tests/scripts/flatdisc_iris/iris.txt");
}

// iris with feature i multiplied by scales[i].
std::vector<double> scaled_iris(const std::vector<double>& scales)
{
    std::vector<double> values = iris();
    for (size_t t = 0; t < values.size(); t++)
        if (t % IRIS_COLUMNS < scales.size())
            values[t] *= scales[t % IRIS_COLUMNS];
    return values;
}

// The transformation a training function stores for the data (d x l, row by row).
std::vector<double> trained(ScriptFunction f, const std::vector<double>& values)
{
    ScratchFolder folder;
    std::string file = folder.path("model.xml");
    TestDatabase db(static_cast<int>(values.size()) / IRIS_COLUMNS, IRIS_COLUMNS, values);
    train_quietly(f, db, file, nullptr);
    return stored_list(read_text(file), "transformation");
}

TEST(DiscriminantScale, UniformScalingKeepsTheDirections)
{
    struct Plugin {
        const char* name;
        ScriptFunction compute;
        size_t entries;  // 4 features x directions
    } plugins[] = {{"flatdisc", compute_flatdisc, 8}, {"groupfold", compute_groupfold, 16}};
    for (const Plugin& p : plugins) {
        std::vector<double> plain = trained(p.compute, iris());
        ASSERT_EQ(plain.size(), p.entries) << p.name;
        for (double scale : {1e-150, 1e-8, 1e5, 1e150}) {
            std::vector<double> t = trained(p.compute, scaled_iris({scale, scale, scale, scale}));
            ASSERT_EQ(t.size(), plain.size()) << p.name << " " << scale;
            for (size_t k = 0; k < t.size(); k++)
                EXPECT_NEAR(t[k], plain[k], 1e-8) << p.name << " " << scale << " entry " << k;
        }
    }
}

TEST(DiscriminantScale, MixedColumnScalesKeepBothFlatdiscDirections)
{
    // Features x1e8 and x1e-8: the eigenvalues of W^-1 B do not change and
    // each direction v becomes D^-1 v, made unit again.
    const std::vector<double> scales = {1e8, 1e-8, 1, 1};
    std::vector<double> plain = trained(compute_flatdisc, iris());
    std::vector<double> mixed = trained(compute_flatdisc, scaled_iris(scales));
    ASSERT_EQ(plain.size(), 8u);
    ASSERT_EQ(mixed.size(), 8u);
    const int l = 2;
    for (int k = 0; k < l; k++) {
        std::vector<double> back(4);
        double length = 0;
        for (int i = 0; i < 4; i++) {
            back[i] = mixed[i * l + k] * scales[i];
            length += back[i] * back[i];
        }
        for (int i = 0; i < 4; i++)
            EXPECT_NEAR(back[i] / std::sqrt(length), plain[i * l + k], 1e-7)
                << "direction " << k << " feature " << i;
    }
}

TEST(DiscriminantScale, GroupfoldOnHugeValuesWritesAModel)
{
    // Pair sums of 1e300-sized features would overflow without rescaling.
    ScratchFolder folder;
    std::string file = folder.path("huge.xml");
    TestDatabase huge(2, 2, {1e300, 1, -1e300, 2});
    EXPECT_EQ(train_quietly(compute_groupfold, huge, file, nullptr), "    0\r    1\r\n");
    EXPECT_EQ(stored_list(read_text(file), "transformation"), std::vector<double>{1});
}

}  // namespace
