#include "menu/away_mode_switch.h"

#include "design/fill_style.h"
#include "design/typography.h"

#include <QFontMetrics>
#include <QPainter>

using namespace idlewyn;

namespace vesperline {

namespace {
constexpr qreal trackWidth = 32;
constexpr qreal trackHeight = 18;
} // namespace

AwayModeSwitch::AwayModeSwitch(QWidget* parent)
    : FocusRingButton(parent)
{
    setText(title());
    setAccessibleName(title());
    setAccessibleDescription(subtitle());
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    connect(this, &QAbstractButton::clicked, this, [this] { emit toggleRequested(!m_on); });
}

QString AwayModeSwitch::title()
{
    return QStringLiteral("Away mode");
}

QString AwayModeSwitch::subtitle()
{
    return QStringLiteral("Claude\u2019s permission prompts wait for the phone");
}

void AwayModeSwitch::setOn(bool on)
{
    if (m_on != on) {
        m_on = on;
        update();
    }
}

QSize AwayModeSwitch::sizeHint() const
{
    const int height = QFontMetrics(font()).height() + 2 + QFontMetrics(Typography::meta()).height();
    const int width = QFontMetrics(Typography::meta()).horizontalAdvance(subtitle()) + 12 + int(trackWidth);
    return {width, std::max(height, int(trackHeight))};
}

bool AwayModeSwitch::hitButton(const QPoint& pos) const
{
    return rect().contains(pos);
}

QRectF AwayModeSwitch::trackRect() const
{
    return {width() - trackWidth - 1, (height() - trackHeight) / 2.0, trackWidth, trackHeight};
}

void AwayModeSwitch::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    if (!isEnabled()) {
        painter.setOpacity(0.55);
    }

    const QColor text = palette().color(QPalette::WindowText);
    const QFontMetrics titleMetrics(font());
    const QFontMetrics metaMetrics(Typography::meta());
    const int textWidth = int(trackRect().left()) - 8;
    const int blockHeight = titleMetrics.height() + 2 + metaMetrics.height();
    const int top = (height() - blockHeight) / 2;
    painter.setPen(text);
    painter.setFont(font());
    painter.drawText(QRect(0, top, textWidth, titleMetrics.height()), Qt::AlignLeft | Qt::AlignVCenter,
                     titleMetrics.elidedText(title(), Qt::ElideRight, textWidth));
    painter.setFont(Typography::meta());
    painter.setPen(FillStyle::secondary().brush(this).color());
    painter.drawText(QRect(0, top + titleMetrics.height() + 2, textWidth, metaMetrics.height()),
                     Qt::AlignLeft | Qt::AlignVCenter, metaMetrics.elidedText(subtitle(), Qt::ElideRight, textWidth));

    const QRectF track = trackRect();
    QColor off = text;
    off.setAlphaF(0.2);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_on ? palette().color(QPalette::Highlight) : off);
    painter.drawRoundedRect(track, trackHeight / 2, trackHeight / 2);
    const qreal knob = trackHeight - 4;
    const qreal x = m_on ? track.right() - 2 - knob : track.left() + 2;
    painter.setBrush(QColor(Qt::white));
    painter.setPen(QPen(QColor(0, 0, 0, 40), 0.5));
    painter.drawEllipse(QRectF(x, track.top() + 2, knob, knob));

    paintFocusRing(painter, track.adjusted(-2, -2, 2, 2), trackHeight / 2 + 2);
}

} // namespace vesperline
