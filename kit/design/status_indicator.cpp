#include "design/status_indicator.h"

#include "design/palette.h"
#include "design/symbol_catalogue.h"

#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace idlewyn {

StatusIndicator::StatusIndicator(SessionStatus status, qreal size, QWidget* parent)
    : QWidget(parent)
    , status_(status)
    , size_(size)
    , pulse_(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(label(status_));
    pulse_->setStartValue(0.0);
    pulse_->setEndValue(1.0);
    pulse_->setDuration(pulseDuration);
    connect(pulse_, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(pulse_, &QVariantAnimation::finished, this, [this] { update(); });
}

void StatusIndicator::setStatus(SessionStatus status)
{
    if (status == status_) {
        return;
    }
    status_ = status;
    setAccessibleName(label(status_));
    pulse_->stop();
    pulse_->start();
    emit pulsed();
    update();
}

void StatusIndicator::setIconSize(qreal size)
{
    if (qFuzzyCompare(size, size_)) {
        return;
    }
    size_ = size;
    updateGeometry();
    update();
}

QColor StatusIndicator::resolvedColor() const
{
    return tint(status_).resolved(this);
}

bool StatusIndicator::isPulsing() const
{
    return pulse_->state() == QAbstractAnimation::Running;
}

QSize StatusIndicator::sizeHint() const
{
    const int side = int(std::ceil(size_));
    return {side, side};
}

void StatusIndicator::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (isPulsing()) {
        // Fades to a third and back, smoothly at both ends.
        const qreal t = pulse_->currentValue().toReal();
        painter.setOpacity(1.0 - 0.65 * std::sin(M_PI * t));
    }
    const QRectF square(QPointF(0, 0), QSizeF(size_, size_));
    SymbolCatalogue::paint(painter, square.translated(QRectF(rect()).center() - square.center()), symbolName(status_),
                           resolvedColor(), SymbolWeight::semibold);
}

} // namespace idlewyn
