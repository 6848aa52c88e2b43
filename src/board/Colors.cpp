#include "board/Colors.h"

#include "common/LegacyText.h"

#include <array>
#include <cmath>

namespace corvane {

LegacyColor stateColor(std::int16_t state) {
    switch (static_cast<unsigned>(state) & 0xF7u) {
    case 0:
        return 0x000000;
    case 1:
        return 0x0000FF;
    case 2:
        return 0x00FF00;
    case 3:
        return 0x00FFFF;
    case 4:
        return 0xFF0000;
    case 5:
        return 0xCCCCCC;
    case 6:
        return 0xFFFF00;
    case 7:
        return 0xFFFFFF;
    case 21:
        return 0xFF00FF;
    case 22:
        return 0x00CC00;
    default:
        return 0x000000;
    }
}

namespace {
// Each term is rounded on its scaled value, halves to even, as a 32-bit integer.
std::int64_t scaled(double v) {
    return static_cast<std::int64_t>(toInt32(v).value_or(0));
}
} // namespace

namespace {
LegacyColor computeGroupColor(int product, bool rSide) {
    const double x = rSide ? 0.15 : 0.0;
    const double theta = static_cast<double>(product) / 3.0 + x;
    const std::int64_t b = scaled((std::sin(theta) + 1.0) / 4.0 * 10485760.0);
    const std::int64_t g = scaled((std::sin(theta + 0.25) + 1.0) / 4.0 * 40960.0);
    const std::int64_t r = scaled((std::sin(theta + 0.5) + 1.0) / 4.0 * 160.0);
    return static_cast<LegacyColor>(b + g + r);
}

// Every report paints a group colour; the usual products of group and scheme are remembered (the
// board lives on the one user-interface thread).
constexpr int kCached = 4096;
struct GroupColorCache {
    std::array<LegacyColor, 2 * kCached> colour{};
    std::array<bool, 2 * kCached> known{};
};
} // namespace

LegacyColor groupColor(std::int16_t group, bool rSide, std::int16_t scheme) {
    const int product = static_cast<int>(group) * static_cast<int>(scheme);
    if (product < 0 || product >= kCached)
        return computeGroupColor(product, rSide);
    static GroupColorCache cache;
    const auto slot = static_cast<std::size_t>(product * 2 + (rSide ? 1 : 0));
    if (!cache.known[slot]) {
        cache.colour[slot] = computeGroupColor(product, rSide);
        cache.known[slot] = true;
    }
    return cache.colour[slot];
}

LegacyColor cellTextColor(LegacyColor background) {
    return (background & 0xFF00u) > 0x8000u ? 0x000000u : 0xFFFFFFu;
}

LegacyColor borderColorFor(LegacyColor colour) {
    const LegacyColor blue = colour / 65536u;
    const LegacyColor green = (colour / 256u) & 0xFFu;
    const LegacyColor red = colour & 0xFFu;
    int score = 0;
    if (blue > 128)
        score = 1;
    if (green > 192)
        score += 2;
    if (red > 128)
        score += 1;
    return score <= 1 ? 0xFFFFFFu : 0x000000u;
}

TextColors textSetColors(LegacyColor background) {
    const bool dark = background == 0x000000u || background == 0x0000FFu || background == 0xFF0000u;
    return {background, dark ? 0xFFFFFFu : 0x000000u};
}

} // namespace corvane
