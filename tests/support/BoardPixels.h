#pragma once
// What a board view shows, compared pixel for pixel with the board painted afresh.

#include <QString>

namespace corvane {
class BoardCanvas;
}

namespace corvane::test {

// Pixels of the canvas's visible area where its window, as the screen holds it, differs from the
// board painted afresh into an image; the first of them and the count are described in `where`, and
// both pictures are saved as board_shown.png and board_fresh.png for a look. The offscreen screen
// hands out a window's pixels only at one device pixel to a logical one: at other ratios the canvas's
// own paint, which copies from its image, stands in for them.
int wrongBoardPixels(BoardCanvas& canvas, QString* where = nullptr);

} // namespace corvane::test
