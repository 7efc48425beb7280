// Pair-weighted discriminant on a stored wine-like database (13 features of
// mixed scales, 3 classes): the stored directions are orthonormal to rounding.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/random.h"
#include "tests/plugins/discriminant_test_helpers.h"

extern "C" void* compute_groupfold(void** values, int* types, int count, int* resultType);

namespace {

const int FEATURES = 13;

std::vector<double> winelike()
{
    return read_numbers(std::string(TOOLKIT_SOURCE_DIR) + "/tests/plugins/data/winelike.txt");
}

// Largest |Q'Q - I| over the d x d transformation stored row by row.
double orthogonality_error(const std::vector<double>& q, int d)
{
    double worst = 0.0;
    for (int i = 0; i < d; i++)
        for (int j = 0; j <= i; j++) {
            double dot = 0.0;
            for (int r = 0; r < d; r++)
                dot += q[r * d + i] * q[r * d + j];
            worst = std::fmax(worst, std::fabs(dot - (i == j ? 1.0 : 0.0)));
        }
    return worst;
}

// The scatter's eigenvalues span many orders, the small ones close together
// beside the largest; an iterate that flipped its sign on every solve
// stopped after two passes with directions orthogonal only to about 1e-5.
TEST(GroupfoldDirections, OrthonormalOnMixedScales)
{
    std::vector<double> values = winelike();
    ASSERT_EQ(values.size(), size_t(48 * (FEATURES + 1)));
    struct Case {
        const char* options;  // null for the default weights
        unsigned seed;        // the start vectors' generator state
    } cases[] = {{nullptr, 1}, {nullptr, 77}, {nullptr, 4242}, {"spring=-0.5 antispring=2", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.options ? c.options : "(defaults)") + ", seed " +
                     std::to_string(c.seed));
        seed_random15(c.seed);
        TestDatabase db(48, FEATURES + 1, values);
        ScratchFolder folder;
        std::string file = folder.path("wine.xml");
        train_quietly(compute_groupfold, db, file, c.options);
        std::vector<double> q = stored_list(read_text(file), "transformation");
        ASSERT_EQ(q.size(), size_t(FEATURES * FEATURES));
        EXPECT_LE(orthogonality_error(q, FEATURES), 1e-9);
    }
}

}  // namespace
