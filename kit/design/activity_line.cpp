#include "design/activity_line.h"

#include "design/spacing.h"
#include "design/symbol_catalogue.h"
#include "design/typography.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>

#include <cmath>

namespace idlewyn {

namespace {

const QFont& compactMono()
{
    static const QFont font =
        Typography::font(Typography::TextStyle::caption2, std::nullopt, Typography::Design::monospaced);
    return font;
}

constexpr qreal iconGap = Spacing::xs;
const QString terminalSymbol = QStringLiteral("terminal");

} // namespace

ActivityLine::ActivityLine(const QString& text, const FillStyle& style, bool showsIcon, bool compact, QWidget* parent)
    : QWidget(parent)
    , m_text(text)
    , m_style(style)
    , m_showsIcon(showsIcon)
    , m_compact(compact)
{
    setFont(m_compact ? compactMono() : Typography::mono());
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    setAccessibleName(m_text);
}

void ActivityLine::setText(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        setAccessibleName(m_text);
        inputsChanged();
    }
}

void ActivityLine::setFillStyle(const FillStyle& style)
{
    m_style = style;
    update();
}

void ActivityLine::setShowsIcon(bool showsIcon)
{
    if (showsIcon != m_showsIcon) {
        m_showsIcon = showsIcon;
        inputsChanged();
    }
}

void ActivityLine::setCompact(bool compact)
{
    if (compact != m_compact) {
        m_compact = compact;
        setFont(m_compact ? compactMono() : Typography::mono());
        inputsChanged();
    }
}

void ActivityLine::inputsChanged()
{
    updateGeometry();
    update();
}

QString ActivityLine::singleLine() const
{
    QString line = m_text;
    for (QChar& ch : line) {
        if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QLatin1Char('\t') || ch == QChar::LineSeparator
            || ch == QChar::ParagraphSeparator) {
            ch = QLatin1Char(' ');
        }
    }
    return line;
}

qreal ActivityLine::iconSide() const
{
    return QFontInfo(font()).pixelSize();
}

qreal ActivityLine::textLeft() const
{
    return m_showsIcon ? iconSide() + iconGap : 0;
}

QString ActivityLine::displayedText() const
{
    const QFontMetricsF metrics(font());
    return metrics.elidedText(singleLine(), Qt::ElideMiddle, std::max<qreal>(0, width() - textLeft()));
}

QSize ActivityLine::sizeHint() const
{
    const QFontMetricsF metrics(font());
    const qreal height = std::max(metrics.height(), m_showsIcon ? iconSide() : 0.0);
    return {int(std::ceil(textLeft() + metrics.horizontalAdvance(singleLine()))), int(std::ceil(height))};
}

QSize ActivityLine::minimumSizeHint() const
{
    // Room for the icon and an ellipsis; layouts may squeeze the rest away.
    const QFontMetricsF metrics(font());
    return {int(std::ceil(textLeft() + metrics.horizontalAdvance(QChar(0x2026)))), sizeHint().height()};
}

void ActivityLine::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QBrush brush = m_style.brush(this);
    const QRectF area = rect();
    if (m_showsIcon) {
        const qreal side = iconSide();
        SymbolCatalogue::paint(painter, QRectF(0, area.center().y() - side / 2, side, side), terminalSymbol, brush);
    }
    painter.setPen(QPen(brush, 0));
    painter.drawText(area.adjusted(textLeft(), 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     displayedText());
}

} // namespace idlewyn
