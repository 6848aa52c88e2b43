#include "board/BoardZoom.h"

#include <cmath>
#include <iterator>

namespace corvane {

namespace {
// Close steps near the designed size, wider ones beyond, as far as a cell of a quarter inch.
constexpr int kStepsPercent[] = {50, 67, 75, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400};
static_assert(kStepsPercent[0] == kMinBoardZoomPercent);
static_assert(kStepsPercent[std::size(kStepsPercent) - 1] == kMaxBoardZoomPercent);

// Zooms are compared as percentages, so that 1.1 from a file and 110 % from the steps are the same.
double percentOf(double zoom) {
    return zoom * 100.0;
}
constexpr double kSame = 0.5;
} // namespace

double zoomedIn(double zoom) {
    for (int step : kStepsPercent)
        if (step > percentOf(zoom) + kSame)
            return step / 100.0;
    return kMaxBoardZoomPercent / 100.0;
}

double zoomedOut(double zoom) {
    for (auto it = std::rbegin(kStepsPercent); it != std::rend(kStepsPercent); ++it)
        if (*it < percentOf(zoom) - kSame)
            return *it / 100.0;
    return kMinBoardZoomPercent / 100.0;
}

std::optional<int> boardZoomPercent(double percent) {
    // Checked before rounding: a huge number has no whole value to round to.
    if (!(percent >= kMinBoardZoomPercent - 0.5 && percent < kMaxBoardZoomPercent + 0.5))
        return std::nullopt;
    return static_cast<int>(std::lround(percent));
}

} // namespace corvane
