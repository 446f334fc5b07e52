#include "menu/elided_label.h"

#include <QEvent>
#include <QFontMetrics>

#include <cmath>

namespace vesperline {

ElidedLabel::ElidedLabel(Qt::TextElideMode mode, QWidget* parent)
    : QLabel(parent)
    , m_mode(mode)
{
    setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
}

void ElidedLabel::setFullText(const QString& text)
{
    if (text == m_fullText) {
        return;
    }
    m_fullText = text;
    setToolTip(text);
    setAccessibleName(text);
    elide();
    updateGeometry();
}

QSize ElidedLabel::sizeHint() const
{
    // Rounded up: elision measures in fractions, and a hint rounded down
    // would cut a text that fits.
    const QFontMetricsF metrics(font());
    QString single = m_fullText;
    single.replace(u'\n', u' ');
    return {int(std::ceil(metrics.horizontalAdvance(single))) + 1 + contentsMargins().left()
                + contentsMargins().right(),
            int(std::ceil(metrics.height())) + contentsMargins().top() + contentsMargins().bottom()};
}

QSize ElidedLabel::minimumSizeHint() const
{
    return {0, sizeHint().height()};
}

void ElidedLabel::resizeEvent(QResizeEvent* event)
{
    QLabel::resizeEvent(event);
    elide();
}

void ElidedLabel::changeEvent(QEvent* event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        elide();
    }
}

void ElidedLabel::elide()
{
    const int available = contentsRect().width();
    QString single = m_fullText;
    single.replace(u'\n', u' ');
    QLabel::setText(QFontMetrics(font()).elidedText(single, m_mode, std::max(0, available)));
}

} // namespace vesperline
