#include "design/palette.h"

namespace idlewyn {

namespace {

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(float(alpha));
    return color;
}

} // namespace

namespace Palette {

const QColor& ink()
{
    static const QColor color(0x1B, 0x2A, 0x5E);
    return color;
}

const QColor& inkDeep()
{
    static const QColor color(0x07, 0x0B, 0x1C);
    return color;
}

const QColor& moon()
{
    static const QColor color(0xFF, 0xF6, 0xDC);
    return color;
}

const QColor& nightRed()
{
    static const QColor color = QColor::fromRgbF(1.0f, 0.28f, 0.22f);
    return color;
}

const QColor& skyGlow()
{
    static const QColor color = withAlpha(ink(), 0.9);
    return color;
}

const QColor& liveActivityBackground()
{
    static const QColor color = withAlpha(inkDeep(), 0.85);
    return color;
}

const QLinearGradient& sky()
{
    static const QLinearGradient gradient = [] {
        QLinearGradient g(QPointF(0.5, 0.0), QPointF(0.5, 1.0));
        g.setCoordinateMode(QGradient::ObjectBoundingMode);
        g.setColorAt(0.0, ink());
        g.setColorAt(1.0, inkDeep());
        return g;
    }();
    return gradient;
}

const Color& onStatusFill()
{
    static const Color color(QColor(0xF6, 0xF2, 0xE9), QColor(0x07, 0x0B, 0x1C));
    return color;
}

const Color& providerBadge()
{
    static const Color color(QColor(0x4A, 0x4E, 0x63), QColor(0xC9, 0xC6, 0xD6));
    return color;
}

namespace Status {

const Color& working()
{
    static const Color color(QColor(0x00, 0x62, 0xCC), QColor(0x6C, 0xB8, 0xFF));
    return color;
}

const Color& waiting()
{
    static const Color color(QColor(0xB8, 0x4A, 0x00), QColor(0xFF, 0xA6, 0x30));
    return color;
}

const Color& finished()
{
    static const Color color(QColor(0x1A, 0x7F, 0x37), QColor(0x3D, 0xD6, 0x6B));
    return color;
}

const Color& failed()
{
    static const Color color(QColor(0xC6, 0x28, 0x28), QColor(0xFF, 0x7B, 0x72));
    return color;
}

const Color& idle()
{
    static const Color color(QColor(0x63, 0x63, 0x66), QColor(0xA1, 0xA1, 0xA6));
    return color;
}

} // namespace Status

namespace OnDark {

const QColor& primary()
{
    static const QColor color(0xF6, 0xF2, 0xE9);
    return color;
}

const QColor& secondary()
{
    static const QColor color = withAlpha(primary(), 0.72);
    return color;
}

const QColor& tertiary()
{
    static const QColor color = withAlpha(primary(), 0.58);
    return color;
}

const QColor& card()
{
    static const QColor color = withAlpha(inkDeep(), 0.6);
    return color;
}

const QColor& cardRaised()
{
    static const QColor color = withAlpha(ink(), 0.95);
    return color;
}

} // namespace OnDark

} // namespace Palette

const Color& tint(AgentProvider)
{
    return Palette::providerBadge();
}

const Color& tint(SessionStatus status)
{
    switch (status) {
    case SessionStatus::working:
        return Palette::Status::working();
    case SessionStatus::waitingForInput:
        return Palette::Status::waiting();
    case SessionStatus::finished:
        return Palette::Status::finished();
    case SessionStatus::failed:
        return Palette::Status::failed();
    case SessionStatus::idle:
        break;
    }
    return Palette::Status::idle();
}

} // namespace idlewyn
