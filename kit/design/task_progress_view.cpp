#include "design/task_progress_view.h"

#include "design/palette.h"
#include "design/spacing.h"
#include "design/tabular_text.h"
#include "design/typography.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace idlewyn {

TaskProgressView::TaskProgressView(int done, int total, const Color& tint, QWidget* parent)
    : QWidget(parent)
    , m_done(done)
    , m_total(total)
    , m_tint(tint)
{
    setFont(Typography::numberSmall());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(accessibleLabel());
}

void TaskProgressView::setProgress(int done, int total)
{
    if (done != m_done || total != m_total) {
        m_done = done;
        m_total = total;
        inputsChanged();
    }
}

void TaskProgressView::setTint(const Color& tint)
{
    if (!(tint == m_tint)) {
        m_tint = tint;
        update();
    }
}

double TaskProgressView::value() const
{
    return double(std::min(m_done, m_total));
}

double TaskProgressView::maximum() const
{
    return double(std::max(m_total, 1));
}

double TaskProgressView::fraction() const
{
    return std::clamp(value() / maximum(), 0.0, 1.0);
}

QString TaskProgressView::text() const
{
    return tr("%1/%2").arg(m_done).arg(m_total);
}

QString TaskProgressView::accessibleLabel() const
{
    return tr("%1 of %2 tasks done").arg(m_done).arg(m_total);
}

void TaskProgressView::inputsChanged()
{
    setAccessibleName(accessibleLabel());
    updateGeometry();
    update();
}

QSize TaskProgressView::sizeHint() const
{
    const QFontMetricsF metrics(font());
    const qreal width = Layout::progressBarWidth + Spacing::xs + TabularText::width(font(), text());
    return {int(std::ceil(width)), int(std::ceil(std::max<qreal>(metrics.height(), barHeight)))};
}

void TaskProgressView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor color = m_tint.resolved(this);

    const QRectF bar(0, (height() - barHeight) / 2.0, Layout::progressBarWidth, barHeight);
    const qreal radius = barHeight / 2.0;
    QColor track = color;
    track.setAlphaF(track.alphaF() * float(Palette::Tint::strongFill));
    QPainterPath trackPath;
    trackPath.addRoundedRect(bar, radius, radius);
    painter.fillPath(trackPath, track);
    if (fraction() > 0) {
        QPainterPath filled;
        filled.addRoundedRect(QRectF(bar.topLeft(), QSizeF(bar.width() * fraction(), bar.height())), radius, radius);
        painter.fillPath(filled.intersected(trackPath), color);
    }

    painter.setPen(color);
    const QRectF textRect(bar.right() + Spacing::xs, 0, width() - bar.right() - Spacing::xs, height());
    TabularText::draw(painter, textRect, Qt::AlignLeft | Qt::AlignVCenter, text());
}

void TaskProgressView::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace idlewyn
