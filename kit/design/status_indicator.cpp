#include "design/status_indicator.h"

#include "design/palette.h"
#include "design/session_drawing.h"

#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace idlewyn {

StatusIndicator::StatusIndicator(SessionStatus status, qreal size, QWidget* parent)
    : QWidget(parent)
    , m_status(status)
    , m_size(size)
    , m_pulse(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(label(m_status));
    m_pulse->setStartValue(0.0);
    m_pulse->setEndValue(1.0);
    m_pulse->setDuration(pulseDuration);
    connect(m_pulse, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(m_pulse, &QVariantAnimation::finished, this, [this] { update(); });
}

void StatusIndicator::setStatus(SessionStatus status)
{
    if (status == m_status) {
        return;
    }
    m_status = status;
    setAccessibleName(label(m_status));
    m_pulse->stop();
    m_pulse->start();
    emit pulsed();
    update();
}

void StatusIndicator::setIconSize(qreal size)
{
    if (qFuzzyCompare(size, m_size)) {
        return;
    }
    m_size = size;
    updateGeometry();
    update();
}

QColor StatusIndicator::resolvedColor() const
{
    return tint(m_status).resolved(this);
}

bool StatusIndicator::isPulsing() const
{
    return m_pulse->state() == QAbstractAnimation::Running;
}

QSize StatusIndicator::sizeHint() const
{
    const int side = int(std::ceil(m_size));
    return {side, side};
}

void StatusIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SessionDrawing::statusIndicator(painter, rect(), m_status, m_size, resolvedColor(),
                                    isPulsing() ? m_pulse->currentValue().toReal() : -1.0);
}

} // namespace idlewyn
