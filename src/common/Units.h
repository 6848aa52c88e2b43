#pragma once
// Positions and sizes are kept in twips and colours as 0x00BBGGRR values, as the switch's operators
// know them from their configuration; these are the only conversions to what Qt draws with.

#include <QColor>
#include <QRect>
#include <cstdint>

namespace corvane {

using LegacyColor = std::uint32_t; // 0x00BBGGRR: red in the low byte

inline constexpr LegacyColor kGreen = 0x00FF00;
inline constexpr LegacyColor kRed = 0x0000FF;
inline constexpr LegacyColor kWhite = 0xFFFFFF;
inline constexpr LegacyColor kGrey = 0x808080;
inline constexpr LegacyColor kBlack = 0x000000;

inline QColor toQColor(LegacyColor c) {
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                  static_cast<int>((c >> 16) & 0xFF));
}
inline LegacyColor fromQColor(const QColor& c) {
    return static_cast<LegacyColor>(c.red()) | (static_cast<LegacyColor>(c.green()) << 8) |
           (static_cast<LegacyColor>(c.blue()) << 16);
}

// 1440 twips to the inch; at 96 logical dots per inch that is 15 twips to a pixel.
inline constexpr double kTwipsPerInch = 1440.0;
inline double twipsToPixels(double twips, double logicalDpi = 96.0) {
    return twips * logicalDpi / kTwipsPerInch;
}
inline double pixelsToTwips(double pixels, double logicalDpi = 96.0) {
    return pixels * kTwipsPerInch / logicalDpi;
}
QRect twipsToPixels(const QRect& twips, double logicalDpi = 96.0);

} // namespace corvane
