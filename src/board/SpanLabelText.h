#pragma once
// What a span label shows of its caption. The inner label's caption ends with the span number and the
// outer label's begins with it (the group names stand between the number and the other end), so a
// caption too long for its label is cut short at the names' end and the number stays in view however
// long the names are; the whole caption is then the label's tool tip.

#include <QString>

class QFontMetrics;

namespace corvane {

// The caption as drawn in a label `width` pixels wide with `metrics`: whole when it fits, else cut at
// the start (inner label) or the end (outer label) with an ellipsis.
QString spanLabelText(const QString& caption, bool inner, const QFontMetrics& metrics, int width);

} // namespace corvane
