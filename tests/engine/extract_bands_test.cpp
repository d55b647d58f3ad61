// The cut of the enlargement's centres into bands for two threads: whatever the centres, no two
// centres of different bands may have neighbourhoods that share a pixel, and every centre lies in
// the index range its band runs. Which thread takes which band first varies from run to run, so
// the draw's own tests see a bad cut only sometimes; this checks the cut itself.
#include "extract/extraction.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using namespace nocturo;

namespace {

using Centres = std::vector<std::pair<int, int>>;  // (row, column), scan order

Centres sorted(std::set<std::pair<int, int>> cells) { return Centres(cells.begin(), cells.end()); }

// Scattered centres, about one in `spacing` cells of a width x height area.
Centres scattered(int width, int height, int spacing, std::uint32_t seed) {
    std::set<std::pair<int, int>> cells;
    std::uint32_t s = seed;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            s = s * 1664525u + 1013904223u;
            if (s % static_cast<std::uint32_t>(spacing) == 0) cells.insert({y, x});
        }
    return sorted(cells);
}

// Scattered centres plus one chain of interacting centres (each two rows below the last)
// running from `from` to `to`, across any cut in between.
Centres withChain(Centres base, int column, int from, int to, int step) {
    std::set<std::pair<int, int>> cells(base.begin(), base.end());
    for (int y = from; y <= to; y += 2) cells.insert({y, column + ((y / 2) % 2) * step});
    return sorted(cells);
}

struct BandCase {
    const char* name;
    Centres centres;
    bool expectSeveralBands;
};

void PrintTo(const BandCase& c, std::ostream* os) { *os << c.name; }

class EnlargementBandsTest : public ::testing::TestWithParam<BandCase> {};

TEST_P(EnlargementBandsTest, CentresOfDifferentBandsNeverShareAPixel) {
    const Centres& centres = GetParam().centres;
    const detail::EnlargementBands cut = detail::CutEnlargementBands(centres, 12);
    ASSERT_EQ(cut.band.size(), centres.size());
    ASSERT_EQ(cut.first.size(), cut.last.size());
    const int bands = static_cast<int>(cut.first.size());

    std::map<std::pair<int, int>, std::size_t> at;
    for (std::size_t i = 0; i < centres.size(); ++i) at[centres[i]] = i;
    std::set<int> used;
    for (std::size_t i = 0; i < centres.size(); ++i) {
        const int b = cut.band[i];
        ASSERT_GE(b, 0);
        ASSERT_LT(b, bands);
        used.insert(b);
        // The band runs centre i.
        ASSERT_LE(cut.first[static_cast<std::size_t>(b)], i) << "centre " << i << " of band " << b;
        ASSERT_LT(i, cut.last[static_cast<std::size_t>(b)]) << "centre " << i << " of band " << b;
        // Every centre whose 3 x 3 neighbourhood meets this one's is in the same band.
        const auto [y, x] = centres[i];
        for (int dy = -2; dy <= 2; ++dy)
            for (int dx = -2; dx <= 2; ++dx) {
                const auto other = at.find({y + dy, x + dx});
                if (other == at.end()) continue;
                ASSERT_EQ(cut.band[other->second], b)
                    << "centres (" << y << "," << x << ") and (" << y + dy << "," << x + dx << ") interact";
            }
    }
    if (GetParam().expectSeveralBands) {
        EXPECT_GT(used.size(), 1u) << "the cut shares nothing out";
    }
}

const Centres kSparse = scattered(400, 3000, 40, 7);
const Centres kDense = scattered(300, 2000, 6, 11);  // many interacting centres across every cut

INSTANTIATE_TEST_SUITE_P(
    Table, EnlargementBandsTest,
    ::testing::Values(BandCase{"SparseCentres", kSparse, true}, BandCase{"DenseCentres", kDense, true},
                      // Chains that cross one cut, several cuts, and longer than any window the
                      // cut follows (the bands they cross then run as one).
                      BandCase{"ChainOverOneCut", withChain(kSparse, 100, 200, 400, 1), true},
                      BandCase{"ChainOverSeveralCuts", withChain(kSparse, 201, 100, 1500, 2), true},
                      BandCase{"ChainOverEverything", withChain(kSparse, 302, 0, 2999, 1), false},
                      BandCase{"FewCentres", scattered(50, 50, 30, 3), false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
