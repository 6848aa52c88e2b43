#pragma once
// What a board view shows, compared pixel for pixel with the board painted afresh.

#include <QString>

namespace corvane {
class BoardCanvas;
}

namespace corvane::test {

// Pixels of the canvas's visible area where its window, as the screen holds it, differs from the board
// painted afresh; `where` tells of the first. The offscreen screen gives a window's pixels only at one
// device pixel to a logical one: at other ratios the canvas's own paint, copied from its image, stands in.
int wrongBoardPixels(BoardCanvas& canvas, QString* where = nullptr);

} // namespace corvane::test
