#include "design/provider_badge.h"

#include "design/palette.h"
#include "design/spacing.h"
#include "design/symbol_catalogue.h"
#include "design/typography.h"

#include <QEvent>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace idlewyn {

namespace {
constexpr qreal horizontalPadding = Spacing::s;
constexpr qreal verticalPadding = Spacing::hairline;
constexpr qreal badgeIconGap = 3;
} // namespace

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
    return m_compact ? shortName(m_provider) : displayName(m_provider);
}

void ProviderBadge::inputsChanged()
{
    setAccessibleName(title());
    updateGeometry();
    update();
}

qreal ProviderBadge::iconSide() const
{
    // The glyph stands as tall as the text's em, like a symbol set in the same font.
    return QFontInfo(font()).pixelSize();
}

QSize ProviderBadge::sizeHint() const
{
    const QFontMetricsF metrics(font());
    const qreal width = horizontalPadding * 2 + iconSide() + badgeIconGap + metrics.horizontalAdvance(title());
    const qreal height = verticalPadding * 2 + std::max(metrics.height(), iconSide());
    return {int(std::ceil(width)), int(std::ceil(height))};
}

void ProviderBadge::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor foreground = Palette::providerBadge().resolved(this);

    const QRectF capsule = QRectF(rect());
    QColor fill = foreground;
    fill.setAlphaF(fill.alphaF() * float(Palette::Tint::fill));
    QPainterPath shape;
    shape.addRoundedRect(capsule, capsule.height() / 2, capsule.height() / 2);
    painter.fillPath(shape, fill);

    const QFontMetricsF metrics(font());
    const qreal side = iconSide();
    const QRectF content = capsule.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);
    const QRectF icon(content.left(), content.center().y() - side / 2, side, side);
    SymbolCatalogue::paint(painter, icon, symbolName(m_provider), foreground, SymbolWeight::semibold);

    painter.setPen(foreground);
    const QRectF text(icon.right() + badgeIconGap, content.top(), content.right() - icon.right() - badgeIconGap,
                      content.height());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, title());
}

void ProviderBadge::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace idlewyn
