#include "board/SpanLabelText.h"

#include <QFontMetrics>

namespace corvane {

QString spanLabelText(const QString& caption, bool inner, const QFontMetrics& metrics, int width) {
    return metrics.elidedText(caption, inner ? Qt::ElideLeft : Qt::ElideRight, width, Qt::TextSingleLine);
}

} // namespace corvane
