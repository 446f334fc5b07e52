#include "design/color.h"
#include "design/palette.h"
#include "design/typography.h"
#include "design_test_support.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QGuiApplication>

using namespace idlewyn;

TEST(ColorTest, AdaptiveColourFollowsTheWindowItIsDrawnIn)
{
    EXPECT_EQ(Palette::Status::waiting().resolved(test::lightPalette()), QColor(0xB8, 0x4A, 0x00));
    EXPECT_EQ(Palette::Status::waiting().resolved(test::darkPalette()), QColor(0xFF, 0xA6, 0x30));

    // A palette that says nothing about its window gets the light value.
    QPalette undecided = test::darkPalette();
    undecided.setColor(QPalette::Window, Qt::transparent);
    EXPECT_EQ(appearanceOf(undecided), Appearance::unspecified);
    EXPECT_EQ(Palette::Status::waiting().resolved(undecided), QColor(0xB8, 0x4A, 0x00));

    // Resolution happens against the widget's current palette, so moving a
    // widget into a dark window changes the colour it draws with.
    QWidget light;
    light.setPalette(test::lightPalette());
    QWidget dark;
    dark.setPalette(test::darkPalette());
    QWidget child(&light);
    EXPECT_EQ(Palette::Status::working().resolved(&child), QColor(0x00, 0x62, 0xCC));
    child.setParent(&dark);
    EXPECT_EQ(Palette::Status::working().resolved(&child), QColor(0x6C, 0xB8, 0xFF));
}

TEST(ColorTest, OpacityScalesBothValuesAndAFixedColourIsTheSameEverywhere)
{
    const Color faded = Palette::providerBadge().withOpacity(0.15);
    EXPECT_NEAR(faded.light().alphaF(), 0.15, 0.001);
    EXPECT_NEAR(faded.dark().alphaF(), 0.15, 0.001);
    EXPECT_EQ(faded.dark().rgb(), QColor(0xC9, 0xC6, 0xD6).rgb());

    const Color fixed(Palette::ink());
    EXPECT_FALSE(fixed.isAdaptive());
    EXPECT_EQ(fixed.resolved(Appearance::dark), fixed.resolved(Appearance::light));
}

TEST(TypographyTest, TextStylesKeepTheirRatiosToTheDesktopBodySize)
{
    QFont base(QStringLiteral("DejaVu Sans"));
    base.setPointSizeF(12);
    using Typography::TextStyle;
    const auto size = [&](TextStyle style) {
        return Typography::font(style, std::nullopt, {}, false, base).pointSizeF();
    };
    EXPECT_DOUBLE_EQ(size(TextStyle::body), 12);
    EXPECT_DOUBLE_EQ(size(TextStyle::largeTitle), 24);
    EXPECT_NEAR(size(TextStyle::title3), 12 * 15 / 13.0, 0.001);
    EXPECT_NEAR(size(TextStyle::callout), 12 * 12 / 13.0, 0.001);
    EXPECT_NEAR(size(TextStyle::subheadline), 12 * 11 / 13.0, 0.001);
    EXPECT_NEAR(size(TextStyle::caption2), 12 * 10 / 13.0, 0.001);
    EXPECT_EQ(Typography::font(TextStyle::headline, std::nullopt, {}, false, base).weight(), QFont::DemiBold);

    // A desktop font given in pixels still scales.
    QFont pixels = base;
    pixels.setPixelSize(16);
    EXPECT_DOUBLE_EQ(Typography::font(TextStyle::largeTitle, std::nullopt, {}, false, pixels).pointSizeF(), 24);
}

TEST(TypographyTest, MonospacedTokensReallyAreAndRoundedFallsBackToTheBaseFamily)
{
    for (const QFont& font : {Typography::mono(), Typography::monoBody()}) {
        const QFontMetricsF metrics(font);
        EXPECT_DOUBLE_EQ(metrics.horizontalAdvance(QLatin1Char('i')), metrics.horizontalAdvance(QLatin1Char('W')))
            << font.family().toStdString();
    }
    const QStringList families = Typography::title().families();
    if (Typography::roundedFamily().isEmpty()) {
        EXPECT_EQ(QFontInfo(Typography::title()).family(), QFontInfo(QGuiApplication::font()).family());
    } else {
        EXPECT_EQ(families.first(), Typography::roundedFamily());
    }
}
