#include "menu/menu_row.h"

#include "design/fill_style.h"
#include "design/symbol_catalogue.h"
#include "design/typography.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

using namespace idlewyn;

namespace vesperline {

MenuRow::MenuRow(QString title, QString systemImage, std::optional<QString> caption, QWidget* parent)
    : FocusRingButton(parent)
    , m_systemImage(std::move(systemImage))
    , m_caption(std::move(caption))
{
    setText(title);
    setAccessibleName(title);
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCursor(Qt::ArrowCursor);
}

void MenuRow::setCaption(const std::optional<QString>& caption)
{
    if (caption == m_caption) {
        return;
    }
    m_caption = caption;
    updateGeometry();
    update();
}

void MenuRow::setSystemImage(const QString& name)
{
    m_systemImage = name;
    update();
}

int MenuRow::iconSide() const
{
    return QFontMetrics(font()).height();
}

int MenuRow::textLeft() const
{
    return horizontalInset + iconSide() + 8;
}

QString MenuRow::displayedCaption() const
{
    if (!m_caption) {
        return {};
    }
    const int available = width() - textLeft() - horizontalInset;
    return QFontMetrics(Typography::metaSmall()).elidedText(*m_caption, Qt::ElideLeft, std::max(0, available));
}

QSize MenuRow::sizeHint() const
{
    const QFontMetrics title(font());
    int height = title.height();
    if (m_caption) {
        height += 2 + QFontMetrics(Typography::metaSmall()).height();
    }
    const int width = textLeft() + title.horizontalAdvance(text()) + horizontalInset;
    return {width, height + 2 * verticalInset};
}

QSize MenuRow::minimumSizeHint() const
{
    return {textLeft() + horizontalInset, sizeHint().height()};
}

bool MenuRow::hitButton(const QPoint& pos) const
{
    return rect().contains(pos); // the whole row, not only the glyphs
}

void MenuRow::enterEvent(QEnterEvent* event)
{
    m_hovered = isEnabled();
    update();
    QAbstractButton::enterEvent(event);
}

void MenuRow::leaveEvent(QEvent* event)
{
    m_hovered = false;
    update();
    QAbstractButton::leaveEvent(event);
}

void MenuRow::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange && !isEnabled()) {
        m_hovered = false;
    }
    QAbstractButton::changeEvent(event);
}

void MenuRow::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(isEnabled() ? 1.0 : disabledOpacity);

    const QColor accent = palette().color(QPalette::Highlight);
    const QRectF shape = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QPainterPath rounded;
    rounded.addRoundedRect(shape, cornerRadius, cornerRadius);
    qreal fill = 0;
    if (isDown()) {
        fill = pressedOpacity;
    } else if (m_hovered && isEnabled()) {
        fill = hoveredOpacity;
    }
    if (fill > 0) {
        QColor color = accent;
        color.setAlphaF(fill);
        painter.fillPath(rounded, color);
    }
    paintFocusRing(painter, QRectF(rect()).adjusted(1, 1, -1, -1), cornerRadius);

    const QColor text = palette().color(QPalette::WindowText);
    const QFontMetrics titleMetrics(font());
    const int side = iconSide();
    const int top = verticalInset;
    SymbolCatalogue::paint(painter, QRectF(horizontalInset, top, side, side), m_systemImage, text);

    painter.setFont(font());
    painter.setPen(text);
    const int left = textLeft();
    const int available = width() - left - horizontalInset;
    painter.drawText(QRect(left, top, available, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(this->text(), Qt::ElideRight, available));
    if (m_caption) {
        painter.setPen(FillStyle::secondary().brush(this).color());
        painter.setFont(Typography::metaSmall());
        const int captionTop = top + titleMetrics.height() + 2;
        painter.drawText(QRect(left, captionTop, available, QFontMetrics(Typography::metaSmall()).height()),
                         Qt::AlignLeft | Qt::AlignVCenter, displayedCaption());
    }
}

} // namespace vesperline
