#pragma once
// The program's icon: the SVG that the desktop entry names too, drawn at whatever size and device
// pixel ratio a window asks for, so that it stays sharp on high-density screens.

#include <QIcon>
#include <QPixmap>

namespace corvane {

// The resource path of the icon.
inline constexpr const char* kProgramIconResource = ":/icons/corvane-monitor.svg";

// A picture of the icon, `size` device-independent pixels square, at the device pixel ratio `ratio`
// (the pixmap holds size × ratio pixels and says so in its devicePixelRatio). A ratio of 0 takes the
// application's highest one.
QPixmap programIconPixmap(int size, qreal ratio = 0);

// The window icon, with renderings at the usual sizes and their doubles.
QIcon programWindowIcon();

} // namespace corvane
