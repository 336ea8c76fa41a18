#pragma once

#include <cmath>

namespace trigfile {

// Every double that becomes an integer (the kill step, every value written
// into the file) is rounded to the nearest integer, ties to even:
// 2.5 -> 2, 3.5 -> 4, -2.5 -> -2. Independent of the FPU rounding mode.
// Infinities and NaN come back unchanged.
inline double roundTiesToEven(double value) {
    if (!std::isfinite(value)) {
        return value;
    }
    const double below = std::floor(value);
    const double fraction = value - below; // exact for every finite double
    if (fraction > 0.5) {
        return below + 1.0;
    }
    if (fraction < 0.5) {
        return below;
    }
    return std::fmod(below, 2.0) == 0.0 ? below : below + 1.0;
}

} // namespace trigfile
