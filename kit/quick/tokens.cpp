#include "quick/tokens.h"

#include "design/color.h"
#include "design/palette.h"
#include "design/typography.h"
#include "model/agent_provider.h"
#include "model/session_status.h"

namespace idlewyn {

QFont QuickTypography::display()
{
    return Typography::display();
}

QFont QuickTypography::bigCount()
{
    return Typography::bigCount();
}

QFont QuickTypography::count()
{
    return Typography::count();
}

QFont QuickTypography::countLabel()
{
    return Typography::countLabel();
}

QFont QuickTypography::title()
{
    return Typography::title();
}

QFont QuickTypography::screenTitle()
{
    return Typography::screenTitle();
}

QFont QuickTypography::headline()
{
    return Typography::headline();
}

QFont QuickTypography::heroGlyph()
{
    return Typography::heroGlyph();
}

QFont QuickTypography::body()
{
    return Typography::body();
}

QFont QuickTypography::rowTitle()
{
    return Typography::rowTitle();
}

QFont QuickTypography::rowTitleCompact()
{
    return Typography::rowTitleCompact();
}

QFont QuickTypography::supporting()
{
    return Typography::supporting();
}

QFont QuickTypography::meta()
{
    return Typography::meta();
}

QFont QuickTypography::metaStrong()
{
    return Typography::metaStrong();
}

QFont QuickTypography::metaSmall()
{
    return Typography::metaSmall();
}

QFont QuickTypography::metaSmallStrong()
{
    return Typography::metaSmallStrong();
}

QFont QuickTypography::mono()
{
    return Typography::mono();
}

QFont QuickTypography::monoBody()
{
    return Typography::monoBody();
}

QFont QuickTypography::number()
{
    return Typography::number();
}

QFont QuickTypography::numberSmall()
{
    return Typography::numberSmall();
}

QFont QuickTypography::numberLarge()
{
    return Typography::numberLarge();
}

QColor QuickPalette::ink()
{
    return Palette::ink();
}

QColor QuickPalette::inkDeep()
{
    return Palette::inkDeep();
}

QColor QuickPalette::moon()
{
    return Palette::moon();
}

QColor QuickPalette::nightRed()
{
    return Palette::nightRed();
}

QColor QuickPalette::skyGlow()
{
    return Palette::skyGlow();
}

QColor QuickPalette::liveActivityBackground()
{
    return Palette::liveActivityBackground();
}

QColor QuickPalette::onDarkPrimary()
{
    return Palette::OnDark::primary();
}

QColor QuickPalette::onDarkSecondary()
{
    return Palette::OnDark::secondary();
}

QColor QuickPalette::onDarkTertiary()
{
    return Palette::OnDark::tertiary();
}

QColor QuickPalette::onDarkCard()
{
    return Palette::OnDark::card();
}

QColor QuickPalette::onDarkCardRaised()
{
    return Palette::OnDark::cardRaised();
}

qreal QuickPalette::tintFill()
{
    return Palette::Tint::fill;
}

qreal QuickPalette::tintStrongFill()
{
    return Palette::Tint::strongFill;
}

qreal QuickPalette::tintBorder()
{
    return Palette::Tint::border;
}

qreal QuickPalette::tintStrongBorder()
{
    return Palette::Tint::strongBorder;
}

qreal QuickPalette::tintHover()
{
    return Palette::Tint::hover;
}

qreal QuickPalette::tintPressed()
{
    return Palette::Tint::pressed;
}

qreal QuickPalette::disabledOpacity()
{
    return Palette::disabledOpacity;
}

QColor QuickPalette::statusTint(const QString& status, bool dark)
{
    return tint(sessionStatusFromRawValue(status).value_or(SessionStatus::idle))
        .resolved(dark ? Appearance::dark : Appearance::light);
}

QColor QuickPalette::providerTint(const QString& provider, bool dark)
{
    return tint(agentProviderFromRawValue(provider).value_or(AgentProvider::claude))
        .resolved(dark ? Appearance::dark : Appearance::light);
}

QColor QuickPalette::onStatusFill(bool dark)
{
    return Palette::onStatusFill().resolved(dark ? Appearance::dark : Appearance::light);
}

QColor QuickPalette::providerBadge(bool dark)
{
    return Palette::providerBadge().resolved(dark ? Appearance::dark : Appearance::light);
}

QColor QuickPalette::adaptive(const QColor& light, const QColor& dark, bool isDark)
{
    return Color(light, dark).resolved(isDark ? Appearance::dark : Appearance::light);
}

bool QuickPalette::isDark(const QColor& window)
{
    QPalette palette;
    palette.setColor(QPalette::Window, window);
    return appearanceOf(palette) == Appearance::dark;
}

QColor QuickPalette::withOpacity(const QColor& color, qreal opacity)
{
    return Color(color).withOpacity(opacity).light();
}

} // namespace idlewyn
