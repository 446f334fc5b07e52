#include "design/session_drawing.h"

#include "design/palette.h"
#include "design/spacing.h"
#include "design/symbol_catalogue.h"
#include "design/tabular_text.h"
#include "design/typography.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace idlewyn::SessionDrawing {

namespace {

constexpr qreal badgeHorizontalPadding = Spacing::s;
constexpr qreal badgeVerticalPadding = Spacing::hairline;
constexpr qreal badgeIconGap = 3;
constexpr qreal activityIconGap = Spacing::xs;

// A glyph stands as tall as the text's em, like a symbol set in the same font.
qreal emSide(const QFont& font)
{
    return QFontInfo(font).pixelSize();
}

qreal activityTextLeft(const QFont& font, bool showsIcon)
{
    return showsIcon ? emSide(font) + activityIconGap : 0;
}

} // namespace

qreal pulseOpacity(qreal pulse)
{
    if (pulse < 0) {
        return 1.0;
    }
    return 1.0 - 0.65 * std::sin(M_PI * std::clamp(pulse, 0.0, 1.0));
}

void statusIndicator(QPainter& painter, const QRectF& bounds, SessionStatus status, qreal size, const QColor& color,
                     qreal pulse)
{
    painter.save();
    painter.setOpacity(painter.opacity() * pulseOpacity(pulse));
    const QRectF square(QPointF(0, 0), QSizeF(size, size));
    SymbolCatalogue::paint(painter, square.translated(bounds.center() - square.center()), symbolName(status), color,
                           SymbolWeight::semibold);
    painter.restore();
}

QString providerBadgeTitle(AgentProvider provider, bool compact)
{
    return compact ? shortName(provider) : displayName(provider);
}

QSizeF providerBadgeSize(const QFont& font, AgentProvider provider, bool compact)
{
    const QFontMetricsF metrics(font);
    const qreal side = emSide(font);
    return {badgeHorizontalPadding * 2 + side + badgeIconGap
                + metrics.horizontalAdvance(providerBadgeTitle(provider, compact)),
            badgeVerticalPadding * 2 + std::max(metrics.height(), side)};
}

void providerBadge(QPainter& painter, const QRectF& bounds, const QFont& font, AgentProvider provider, bool compact,
                   const QColor& foreground)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QColor fill = foreground;
    fill.setAlphaF(fill.alphaF() * float(Palette::Tint::fill));
    QPainterPath shape;
    shape.addRoundedRect(bounds, bounds.height() / 2, bounds.height() / 2);
    painter.fillPath(shape, fill);

    const qreal side = emSide(font);
    const QRectF content =
        bounds.adjusted(badgeHorizontalPadding, badgeVerticalPadding, -badgeHorizontalPadding, -badgeVerticalPadding);
    const QRectF icon(content.left(), content.center().y() - side / 2, side, side);
    SymbolCatalogue::paint(painter, icon, symbolName(provider), foreground, SymbolWeight::semibold);

    painter.setFont(font);
    painter.setPen(foreground);
    const QRectF text(icon.right() + badgeIconGap, content.top(), content.right() - icon.right() - badgeIconGap,
                      content.height());
    painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     providerBadgeTitle(provider, compact));
    painter.restore();
}

double TaskProgress::value() const
{
    return double(std::min(done, total));
}

double TaskProgress::maximum() const
{
    return double(std::max(total, 1));
}

double TaskProgress::fraction() const
{
    return std::clamp(value() / maximum(), 0.0, 1.0);
}

QString TaskProgress::text() const
{
    return QCoreApplication::translate("idlewyn::TaskProgressView", "%1/%2").arg(done).arg(total);
}

QString TaskProgress::accessibleLabel() const
{
    return QCoreApplication::translate("idlewyn::TaskProgressView", "%1 of %2 tasks done").arg(done).arg(total);
}

QSizeF taskProgressSize(const QFont& font, const TaskProgress& progress)
{
    const QFontMetricsF metrics(font);
    return {Layout::progressBarWidth + Spacing::xs + TabularText::width(font, progress.text()),
            std::max<qreal>(metrics.height(), taskProgressBarHeight)};
}

void taskProgress(QPainter& painter, const QRectF& bounds, const QFont& font, const TaskProgress& progress,
                  const QColor& color)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bar(bounds.left(), bounds.top() + (bounds.height() - taskProgressBarHeight) / 2.0,
                     Layout::progressBarWidth, taskProgressBarHeight);
    const qreal radius = taskProgressBarHeight / 2.0;
    QColor track = color;
    track.setAlphaF(track.alphaF() * float(Palette::Tint::strongFill));
    QPainterPath trackPath;
    trackPath.addRoundedRect(bar, radius, radius);
    painter.fillPath(trackPath, track);
    if (const double fraction = progress.fraction(); fraction > 0) {
        QPainterPath filled;
        filled.addRoundedRect(QRectF(bar.topLeft(), QSizeF(bar.width() * fraction, bar.height())), radius, radius);
        painter.fillPath(filled.intersected(trackPath), color);
    }

    painter.setFont(font);
    painter.setPen(color);
    const QRectF textRect(bar.right() + Spacing::xs, bounds.top(), bounds.right() - bar.right() - Spacing::xs,
                          bounds.height());
    TabularText::draw(painter, textRect, Qt::AlignLeft | Qt::AlignVCenter, progress.text());
    painter.restore();
}

const QFont& activityLineFont(bool compact)
{
    if (!compact) {
        return Typography::mono();
    }
    static const QFont font =
        Typography::font(Typography::TextStyle::caption2, std::nullopt, Typography::Design::monospaced);
    return font;
}

QString singleLine(const QString& text)
{
    QString line = text;
    for (QChar& ch : line) {
        if (ch == QLatin1Char('\n') || ch == QLatin1Char('\r') || ch == QLatin1Char('\t') || ch == QChar::LineSeparator
            || ch == QChar::ParagraphSeparator) {
            ch = QLatin1Char(' ');
        }
    }
    return line;
}

QString elidedActivity(const QFont& font, const QString& text, bool showsIcon, qreal width)
{
    const QFontMetricsF metrics(font);
    return metrics.elidedText(singleLine(text), Qt::ElideMiddle,
                              std::max<qreal>(0, width - activityTextLeft(font, showsIcon)));
}

QSizeF activityLineSize(const QFont& font, const QString& text, bool showsIcon)
{
    const QFontMetricsF metrics(font);
    return {activityTextLeft(font, showsIcon) + metrics.horizontalAdvance(singleLine(text)),
            std::max(metrics.height(), showsIcon ? emSide(font) : 0.0)};
}

qreal activityLineMinimumWidth(const QFont& font, bool showsIcon)
{
    // Room for the icon and an ellipsis; layouts may squeeze the rest away.
    return activityTextLeft(font, showsIcon) + QFontMetricsF(font).horizontalAdvance(QChar(0x2026));
}

void activityLine(QPainter& painter, const QRectF& bounds, const QFont& font, const QString& text, bool showsIcon,
                  const QBrush& brush)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    if (showsIcon) {
        const qreal side = emSide(font);
        SymbolCatalogue::paint(painter, QRectF(bounds.left(), bounds.center().y() - side / 2, side, side),
                               QStringLiteral("terminal"), brush);
    }
    painter.setFont(font);
    painter.setPen(QPen(brush, 0));
    painter.drawText(bounds.adjusted(activityTextLeft(font, showsIcon), 0, 0, 0),
                     Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     elidedActivity(font, text, showsIcon, bounds.width()));
    painter.restore();
}

} // namespace idlewyn::SessionDrawing
