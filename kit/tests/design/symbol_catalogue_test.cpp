#include "design/palette.h"
#include "design/symbol_catalogue.h"
#include "model/agent_provider.h"
#include "model/session_status.h"

#include <gtest/gtest.h>

#include <QPainter>

using namespace idlewyn;

namespace {

int inkedPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            count += qAlpha(image.pixel(x, y)) > 0;
        }
    }
    return count;
}

} // namespace

// The names the model hands out for statuses and providers: a name missing
// from the catalogue draws nothing in every list row.
TEST(SymbolCatalogueTest, KnowsEveryStatusAndProviderSymbol)
{
    for (SessionStatus status : SessionStatuses::allCases()) {
        EXPECT_TRUE(SymbolCatalogue::contains(symbolName(status))) << symbolName(status).toStdString();
    }
    for (AgentProvider provider : AgentProviders::allCases()) {
        EXPECT_TRUE(SymbolCatalogue::contains(symbolName(provider))) << symbolName(provider).toStdString();
    }
}

TEST(SymbolCatalogueTest, EveryGlyphInksOnlyInTheAskedColourAndStaysInsideItsSquare)
{
    const QColor colour(0x12, 0x34, 0x56);
    for (const QString& name : SymbolCatalogue::names()) {
        for (int size : {14, 28}) {
            const QImage image = SymbolCatalogue::image(name, size, colour);
            ASSERT_EQ(image.size(), QSize(size, size)) << name.toStdString();
            EXPECT_GT(inkedPixels(image), size * size / 12) << name.toStdString() << " at " << size;
            for (int y = 0; y < size; ++y) {
                for (int x = 0; x < size; ++x) {
                    const QColor pixel = QColor::fromRgba(image.pixel(x, y));
                    if (pixel.alpha() == 255) {
                        ASSERT_EQ(pixel.rgb(), colour.rgb()) << name.toStdString();
                    }
                }
            }
        }
        // Nothing is cut off by the edge of the 24-unit grid: the outermost
        // ring of a large rendering is (almost) empty.
        const QImage large = SymbolCatalogue::image(name, 96, Qt::black);
        int edgeInk = 0;
        for (int i = 0; i < 96; ++i) {
            edgeInk += qAlpha(large.pixel(i, 0)) > 128;
            edgeInk += qAlpha(large.pixel(i, 95)) > 128;
            edgeInk += qAlpha(large.pixel(0, i)) > 128;
            edgeInk += qAlpha(large.pixel(95, i)) > 128;
        }
        EXPECT_EQ(edgeInk, 0) << name.toStdString();
    }
}

TEST(SymbolCatalogueTest, WhitePartsOfAGlyphAreCutOutOfTheInk)
{
    // At 24 px one pixel is one grid unit: the check of checkmark.circle.fill
    // runs through (10.6, 15.8); the disc is solid at (12, 4).
    const QImage check = SymbolCatalogue::image(QStringLiteral("checkmark.circle.fill"), 24, Qt::red);
    EXPECT_EQ(qAlpha(check.pixel(10, 15)), 0);
    EXPECT_EQ(qAlpha(check.pixel(12, 4)), 255);
}

TEST(SymbolCatalogueTest, UnknownNamesGiveNothingRatherThanFailing)
{
    const QString unknown = QStringLiteral("moon.haze.fill");
    EXPECT_FALSE(SymbolCatalogue::contains(unknown));
    EXPECT_TRUE(SymbolCatalogue::image(unknown, 28, Qt::black).isNull());
    EXPECT_TRUE(SymbolCatalogue::pixmap(unknown, 28, Qt::black).isNull());
    EXPECT_TRUE(SymbolCatalogue::icon(unknown, Qt::black).isNull());
    EXPECT_TRUE(SymbolCatalogue::image(QStringLiteral("../symbols/moon"), 28, Qt::black).isNull());
    EXPECT_TRUE(SymbolCatalogue::image(QStringLiteral("moon"), 0, Qt::black).isNull());

    QImage canvas(32, 32, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    SymbolCatalogue::paint(painter, QRectF(0, 0, 32, 32), unknown, Qt::black);
    painter.end();
    EXPECT_EQ(inkedPixels(canvas), 0);
}

TEST(SymbolCatalogueTest, IconsDrawAtAnySizeAndRatioInTheirColour)
{
    const QColor working = Palette::Status::working().light();
    const QIcon icon = SymbolCatalogue::icon(QStringLiteral("moon.stars.fill"), working);
    ASSERT_FALSE(icon.isNull());

    const QPixmap sharp = icon.pixmap(QSize(22, 22), 2.0);
    EXPECT_EQ(sharp.size(), QSize(44, 44));
    EXPECT_DOUBLE_EQ(sharp.devicePixelRatio(), 2.0);
    EXPECT_EQ(QColor(sharp.toImage().pixel(14, 30)).rgb(), working.rgb()) << "inside the crescent";

    // Disabled: the same glyph, faded to the disabled opacity.
    const QImage normal = icon.pixmap(28).toImage();
    const QImage disabled = icon.pixmap(QSize(28, 28), QIcon::Disabled).toImage();
    EXPECT_EQ(qAlpha(normal.pixel(9, 17)), 255);
    EXPECT_NEAR(qAlpha(disabled.pixel(9, 17)), 255 * Palette::disabledOpacity, 2);

    const QIcon mask = SymbolCatalogue::templateIcon(QStringLiteral("moon"));
    EXPECT_TRUE(mask.isMask());
    EXPECT_EQ(QColor(mask.pixmap(24).toImage().pixel(2, 13)).rgb(), QColor(Qt::black).rgb()) << "on the outline";
}

TEST(SymbolCatalogueTest, HeavierWeightsThickenStrokes)
{
    const QString name = QStringLiteral("moon");
    const int regular = inkedPixels(SymbolCatalogue::image(name, 48, Qt::black, SymbolWeight::regular));
    const int semibold = inkedPixels(SymbolCatalogue::image(name, 48, Qt::black, SymbolWeight::semibold));
    const int bold = inkedPixels(SymbolCatalogue::image(name, 48, Qt::black, SymbolWeight::bold));
    EXPECT_LT(regular, semibold);
    EXPECT_LT(semibold, bold);
}
