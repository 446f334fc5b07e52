#include "design/tabular_text.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QRectF>

#include <algorithm>

namespace idlewyn::TabularText {

namespace {

struct Run {
    QString text;
    bool digit = false;
};

QList<Run> runs(const QString& text)
{
    QList<Run> result;
    for (const QChar ch : text) {
        const bool digit = ch.isDigit();
        if (digit || result.isEmpty() || result.last().digit) {
            result.append({QString(ch), digit});
        } else {
            result.last().text += ch;
        }
    }
    return result;
}

qreal cellWidth(const QFontMetricsF& metrics, const QString& text)
{
    qreal widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit) {
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(digit)));
    }
    for (const QChar ch : text) {
        if (ch.isDigit()) {
            widest = std::max(widest, metrics.horizontalAdvance(ch));
        }
    }
    return widest;
}

} // namespace

qreal width(const QFont& font, const QString& text)
{
    const QFontMetricsF metrics(font);
    if (text.isRightToLeft()) {
        return metrics.horizontalAdvance(text);
    }
    const qreal cell = cellWidth(metrics, text);
    qreal total = 0;
    for (const Run& run : runs(text)) {
        total += run.digit ? cell : metrics.horizontalAdvance(run.text);
    }
    return total;
}

void draw(QPainter& painter, const QRectF& rect, Qt::Alignment alignment, const QString& text)
{
    if (text.isRightToLeft()) {
        painter.drawText(rect, int(alignment) | Qt::TextSingleLine, text);
        return;
    }
    const QFontMetricsF metrics(painter.font());
    const qreal cell = cellWidth(metrics, text);
    const qreal total = width(painter.font(), text);

    qreal x = rect.left();
    if (alignment & Qt::AlignRight) {
        x = rect.right() - total;
    } else if (alignment & Qt::AlignHCenter) {
        x = rect.left() + (rect.width() - total) / 2;
    }
    qreal baseline = rect.top() + metrics.ascent();
    if (alignment & Qt::AlignBottom) {
        baseline = rect.bottom() - metrics.descent();
    } else if (alignment & Qt::AlignVCenter) {
        baseline = rect.top() + (rect.height() - metrics.height()) / 2 + metrics.ascent();
    }
    for (const Run& run : runs(text)) {
        if (run.digit) {
            const qreal advance = metrics.horizontalAdvance(run.text);
            painter.drawText(QPointF(x + (cell - advance) / 2, baseline), run.text);
            x += cell;
        } else {
            painter.drawText(QPointF(x, baseline), run.text);
            x += metrics.horizontalAdvance(run.text);
        }
    }
}

} // namespace idlewyn::TabularText
