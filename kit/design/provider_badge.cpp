#include "design/provider_badge.h"

#include "design/palette.h"
#include "design/session_drawing.h"
#include "design/typography.h"

#include <QEvent>
#include <QPainter>

#include <cmath>

namespace idlewyn {

ProviderBadge::ProviderBadge(AgentProvider provider, bool compact, QWidget* parent)
    : QWidget(parent)
    , m_provider(provider)
    , m_compact(compact)
{
    setFont(Typography::metaSmallStrong());
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(title());
}

void ProviderBadge::setProvider(AgentProvider provider)
{
    if (provider != m_provider) {
        m_provider = provider;
        inputsChanged();
    }
}

void ProviderBadge::setCompact(bool compact)
{
    if (compact != m_compact) {
        m_compact = compact;
        inputsChanged();
    }
}

QString ProviderBadge::title() const
{
    return SessionDrawing::providerBadgeTitle(m_provider, m_compact);
}

void ProviderBadge::inputsChanged()
{
    setAccessibleName(title());
    updateGeometry();
    update();
}

QSize ProviderBadge::sizeHint() const
{
    const QSizeF size = SessionDrawing::providerBadgeSize(font(), m_provider, m_compact);
    return {int(std::ceil(size.width())), int(std::ceil(size.height()))};
}

void ProviderBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    SessionDrawing::providerBadge(painter, rect(), font(), m_provider, m_compact,
                                  Palette::providerBadge().resolved(this));
}

void ProviderBadge::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace idlewyn
