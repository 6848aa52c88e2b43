#pragma once
// The drag icon of a cell: a 32 x 32 picture that stands for the cell at the pointer while the cell is
// dragged. It is the pointer's own image meanwhile, so it follows the pointer wherever it goes.

#include <QCursor>

namespace corvane {

struct ChannelCell;

// The cell in small: its background square in the group colour around a state square in the state
// colour, with its mark, outlined so it shows on any board colour.
QPixmap dragPicture(const ChannelCell& cell);
// The pointer that carries the picture, its hot spot at the picture's centre.
QCursor dragCursor(const ChannelCell& cell);

inline constexpr int kDragPictureSize = 32;

} // namespace corvane
