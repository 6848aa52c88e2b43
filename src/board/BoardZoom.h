#pragma once
// The board's zoom: one factor by which the view scales everything on the board, and the steps that
// the View menu's zoom items move through. Zoom 1 draws every twips position at the screen's logical
// density, exactly as without a zoom. The factor is kept in monitor.ini as a whole percentage.

#include <optional>

namespace corvane {

inline constexpr int kMinBoardZoomPercent = 50;
inline constexpr int kMaxBoardZoomPercent = 400;

// The step after `zoom` going up or down; a zoom between two steps goes to the nearer one in that
// direction, and the end steps stay where they are.
double zoomedIn(double zoom);
double zoomedOut(double zoom);

// A percentage the board can take (50 to 400, rounded to a whole number), or nothing for any other
// number.
std::optional<int> boardZoomPercent(double percent);

} // namespace corvane
