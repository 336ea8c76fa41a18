#include "trigfile/rounding.h"

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <limits>
#include <utility>

namespace {

using trigfile::roundTiesToEven;

TEST(RoundTiesToEven, RoundsHalfwayCasesToTheEvenNeighbour) {
    const std::pair<double, double> cases[] = {{2.5, 2},
                                               {3.5, 4},
                                               {0.5, 0},
                                               {1.5, 2},
                                               {-2.5, -2},
                                               {-3.5, -4},
                                               {2.4999, 2},
                                               {2.5001, 3},
                                               {-0.4, 0},
                                               {7, 7},
                                               {16777215.5, 16777216},
                                               {1e300, 1e300},
                                               {4503599627370495.5, 4503599627370496.0}};
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(roundTiesToEven(in), out) << "rounding " << in;
    }
}

TEST(RoundTiesToEven, DoesNotDependOnTheFloatingPointRoundingMode) {
    const int saved = std::fegetround();
    std::fesetround(FE_UPWARD);
    const double up = roundTiesToEven(2.5);
    std::fesetround(FE_DOWNWARD);
    const double down = roundTiesToEven(3.5);
    std::fesetround(saved);
    EXPECT_EQ(up, 2);
    EXPECT_EQ(down, 4);
}

TEST(RoundTiesToEven, LeavesInfinitiesAndNaNForTheCallerToRefuse) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(roundTiesToEven(inf), inf);
    EXPECT_EQ(roundTiesToEven(-inf), -inf);
    EXPECT_TRUE(std::isnan(roundTiesToEven(std::nan(""))));
}

} // namespace
