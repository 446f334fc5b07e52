#include "design/elapsed_label.h"

#include "design/elapsed_text.h"
#include "design/tabular_text.h"
#include "model/agent_session.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace idlewyn {

ElapsedLabel::ElapsedLabel(std::optional<QDateTime> runningSince, QDateTime updatedAt, QWidget* parent)
    : QWidget(parent)
    , m_runningSince(std::move(runningSince))
    , m_updatedAt(std::move(updatedAt))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_shown = text();
}

ElapsedLabel::ElapsedLabel(const AgentSession& session, QWidget* parent)
    : ElapsedLabel(session.runningSince(), session.updatedAt, parent)
{
}

ElapsedLabel::~ElapsedLabel()
{
    ElapsedClock::leave(this);
}

void ElapsedLabel::setSession(const AgentSession& session)
{
    setTimes(session.runningSince(), session.updatedAt);
}

void ElapsedLabel::setTimes(std::optional<QDateTime> runningSince, QDateTime updatedAt)
{
    m_runningSince = std::move(runningSince);
    m_updatedAt = std::move(updatedAt);
    refresh();
}

void ElapsedLabel::setForeground(const FillStyle& style)
{
    m_foreground = style;
    update();
}

void ElapsedLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

QString ElapsedLabel::text() const
{
    return textAt(QDateTime::currentDateTimeUtc());
}

QString ElapsedLabel::textAt(const QDateTime& now) const
{
    return ElapsedText::textAt(m_runningSince, m_updatedAt, now);
}

QString ElapsedLabel::timerText(qint64 elapsedSeconds)
{
    return ElapsedText::timerText(elapsedSeconds);
}

QString ElapsedLabel::relativeText(const QDateTime& since, const QDateTime& now, const QLocale& locale)
{
    return ElapsedText::relativeText(since, now, locale);
}

const QTimer& ElapsedLabel::sharedTimer()
{
    return ElapsedClock::instance().timer();
}

void ElapsedLabel::refresh()
{
    const QString current = text();
    if (current == m_shown) {
        return;
    }
    const bool widthChanged = TabularText::width(font(), current) != TabularText::width(font(), m_shown);
    m_shown = current;
    if (widthChanged) {
        updateGeometry();
    }
    update();
}

QSize ElapsedLabel::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return {int(std::ceil(TabularText::width(font(), m_shown))), int(std::ceil(metrics.height()))};
}

void ElapsedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(m_foreground.brush(this), 0));
    TabularText::draw(painter, rect(), m_alignment, m_shown);
}

void ElapsedLabel::showEvent(QShowEvent* event)
{
    ElapsedClock::instance().join(this, [this] { refresh(); });
    refresh();
    QWidget::showEvent(event);
}

void ElapsedLabel::hideEvent(QHideEvent* event)
{
    ElapsedClock::leave(this);
    QWidget::hideEvent(event);
}

void ElapsedLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace idlewyn
