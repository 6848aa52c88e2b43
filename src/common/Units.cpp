#include "common/Units.h"

#include <cmath>

namespace corvane {

QRect twipsToPixels(const QRect& twips, double logicalDpi) {
    // Edges are converted, not sizes, so that neighbouring elements stay flush after rounding.
    const auto px = [logicalDpi](int t) {
        return static_cast<int>(std::lround(twipsToPixels(t, logicalDpi)));
    };
    const int left = px(twips.left());
    const int top = px(twips.top());
    return QRect(left, top, px(twips.left() + twips.width()) - left, px(twips.top() + twips.height()) - top);
}

} // namespace corvane
