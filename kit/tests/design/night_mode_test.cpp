#include "design/night_mode.h"

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QLayout>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <QWidget>

#include <algorithm>
#include <cstdlib>

using namespace idlewyn;

inline void PrintTo(const QColor& color, std::ostream* out)
{
    *out << color.name(QColor::HexArgb).toStdString();
}

namespace {

// Lays out a widget that was never shown: nested layouts of hidden widgets
// otherwise wait for a show that an offscreen render never does.
void settleLayouts(QWidget& root)
{
    for (int pass = 0; pass < 2; ++pass) {
        for (QWidget* widget : QList<QWidget*>{&root} + root.findChildren<QWidget*>()) {
            if (widget->layout()) {
                widget->layout()->activate();
            }
        }
    }
}

// Renders a widget (and its children, effects included) at scale 1.
QImage render(QWidget& widget)
{
    widget.ensurePolished();
    settleLayouts(widget);
    QImage image = widget.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1);
    return image;
}

// Largest per-channel difference between two colours.
int colorDistance(const QColor& a, const QColor& b)
{
    return std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue())});
}

// A plain rectangle of one colour.
class Swatch : public QWidget {
public:
    explicit Swatch(const QColor& colour, QWidget* parent = nullptr)
        : QWidget(parent)
    {
        QPalette palette;
        palette.setColor(QPalette::Window, colour);
        setPalette(palette);
        setAutoFillBackground(true);
        setFixedSize(40, 20);
    }
};

const QColor background(0xEC, 0xEC, 0xEC);
const QColor brick(200, 100, 50);

// A window holding a container (which the test puts in night mode) with a
// swatch in it, and a swatch outside the container.
struct Scene {
    QWidget window;
    QWidget* container;
    Swatch* inside;
    Swatch* outside;

    Scene()
    {
        QPalette palette;
        palette.setColor(QPalette::Window, background);
        window.setPalette(palette);
        window.setAutoFillBackground(true);
        auto* column = new QVBoxLayout(&window);
        container = new QWidget;
        auto* inner = new QVBoxLayout(container);
        inside = new Swatch(brick);
        inner->addWidget(inside);
        column->addWidget(container);
        outside = new Swatch(brick);
        column->addWidget(outside);
        window.resize(window.sizeHint());
        settleLayouts(window);
    }

    QColor colourAt(const QImage& image, const QWidget* widget) const
    {
        return image.pixelColor(widget->mapTo(&window, widget->rect().center()));
    }
};

// The night filter of one colour at full strength (FilterMaths pins it).
QColor nightOf(const QColor& colour)
{
    return QColor::fromRgba(NightModeEffect::filtered(colour.rgba(), 1));
}

void finish(QVariantAnimation* transition)
{
    transition->setCurrentTime(transition->duration());
}

} // namespace

TEST(NightModeTest, OffLeavesEveryPixelAsItWas)
{
    Scene plain;
    const QImage before = render(plain.window);

    Scene scene;
    NightModeEffect* effect = nightMode(scene.container, false);
    EXPECT_EQ(render(scene.window), before);
    EXPECT_FALSE(effect->isEnabled()) << "an idle filter is out of the way entirely";

    // On and off again, once the change has run its course.
    nightMode(scene.container, true);
    nightMode(scene.container, false);
    finish(effect->filterTransition());
    EXPECT_EQ(render(scene.window), before);
    EXPECT_FALSE(effect->isEnabled());
}

TEST(NightModeTest, FilterMaths)
{
    EXPECT_EQ(NightModeEffect::filtered(qRgba(255, 255, 255, 255), 1), qRgba(255, 71, 56, 255));
    EXPECT_EQ(NightModeEffect::filtered(qRgba(0, 0, 0, 255), 1), qRgba(0, 0, 0, 255));
    EXPECT_EQ(NightModeEffect::filtered(qRgba(128, 128, 128, 255), 1), qRgba(128, 36, 28, 255));
    // Contrast pushes a luminance below mid-grey further down (0.461 to 0.450).
    EXPECT_EQ(NightModeEffect::filtered(qRgba(200, 100, 50, 255), 1), qRgba(115, 32, 25, 255));
    EXPECT_EQ(NightModeEffect::filtered(qRgba(10, 200, 30, 255), 0), qRgba(10, 200, 30, 255));
    // Transparency is kept; a half-covered pixel is filtered by its colour, not its coverage.
    EXPECT_EQ(NightModeEffect::filtered(qRgba(64, 64, 64, 128), 1), qRgba(64, 18, 14, 128));
    EXPECT_EQ(NightModeEffect::filtered(0, 1), 0u);
}

TEST(NightModeTest, EnvironmentComesFromTheNearestAncestorThatSetsIt)
{
    QWidget root;
    auto* middle = new QWidget(&root);
    auto* leaf = new QWidget(middle);
    EXPECT_FALSE(isNightMode(leaf)) << "off by default";

    nightMode(&root, true);
    EXPECT_TRUE(isNightMode(leaf));
    nightMode(middle, false);
    EXPECT_FALSE(isNightMode(leaf)) << "the innermost decides";
    EXPECT_TRUE(isNightMode(&root));

    setNightModeEnvironment(middle, std::nullopt);
    EXPECT_TRUE(isNightMode(leaf));
}

TEST(NightModeTest, HiddenAtNightKeepsItsPlaceButNotItsInk)
{
    Scene scene;
    hiddenAtNight(scene.inside);
    hiddenAtNight(scene.outside);
    const QRect insideGeometry = scene.inside->geometry();

    // Outside any night mode: visible.
    QImage image = render(scene.window);
    EXPECT_EQ(scene.colourAt(image, scene.inside), brick);

    nightMode(scene.container, true);
    image = render(scene.window);
    // The container draws no background of its own: what shows is the
    // window behind it, which is not in night mode.
    EXPECT_EQ(scene.colourAt(image, scene.inside), background) << "only the background shows";
    EXPECT_EQ(scene.colourAt(image, scene.outside), brick) << "not in the night subtree";
    EXPECT_EQ(scene.inside->geometry(), insideGeometry);
    EXPECT_TRUE(scene.inside->isVisibleTo(&scene.window));
}

TEST(NightModeTest, HiddenWidgetMovedIntoTheNightVanishesAtItsNextPaint)
{
    Scene scene;
    scene.inside->hide();
    nightMode(scene.container, true);
    auto* stray = new Swatch(brick, &scene.window);
    stray->move(0, 0);
    hiddenAtNight(stray);
    EXPECT_EQ(scene.colourAt(render(scene.window), stray), brick);

    stray->setParent(scene.container);
    stray->move(0, 0);
    stray->show();
    EXPECT_EQ(scene.colourAt(render(scene.window), stray), background);
}

TEST(NightModeTest, NestedNightModesEachFilterAndTheInnermostSetsTheEnvironment)
{
    Scene scene;
    auto* hidden = new Swatch(Qt::blue);
    scene.container->layout()->addWidget(hidden);
    hiddenAtNight(hidden);
    scene.window.resize(scene.window.sizeHint());
    settleLayouts(scene.window);

    nightMode(&scene.window, true);
    nightMode(scene.container, false);
    const QImage image = render(scene.window);
    // The inner "off" does not undo the outer filter, but its subtree is not night.
    EXPECT_LE(colorDistance(scene.colourAt(image, scene.inside), nightOf(brick)), 1);
    EXPECT_LE(colorDistance(scene.colourAt(image, hidden), nightOf(Qt::blue)), 1) << "shown, then filtered";

    // Both on: filtered twice over, and the hidden swatch is gone.
    nightMode(scene.container, true);
    finish(qobject_cast<NightModeEffect*>(scene.container->graphicsEffect())->filterTransition());
    finish(qobject_cast<NightModeEffect*>(hidden->graphicsEffect())->opacityTransition());
    const QImage both = render(scene.window);
    EXPECT_LE(colorDistance(scene.colourAt(both, scene.inside), nightOf(nightOf(brick))), 2);
    // Where the swatch was, the window's background shows, filtered by the outer mode only.
    EXPECT_LE(colorDistance(scene.colourAt(both, hidden), nightOf(background)), 1);
}

TEST(NightModeTest, ChangesEaseInAndOutOverOnePointTwoSeconds)
{
    Scene scene;
    auto* probe = new Swatch(brick);
    scene.container->layout()->addWidget(probe);
    scene.window.resize(scene.window.sizeHint());
    settleLayouts(scene.window);
    NightModeEffect* hidden = hiddenAtNight(scene.inside);
    NightModeEffect* effect = nightMode(scene.container, false);
    EXPECT_EQ(effect->filterTransition()->state(), QAbstractAnimation::Stopped) << "the first value is not a change";

    nightMode(scene.container, true);
    QVariantAnimation* filter = effect->filterTransition();
    QVariantAnimation* opacity = hidden->opacityTransition();
    ASSERT_EQ(filter->state(), QAbstractAnimation::Running);
    ASSERT_EQ(opacity->state(), QAbstractAnimation::Running);
    EXPECT_EQ(filter->duration(), 1200);
    EXPECT_EQ(opacity->duration(), 1200);

    // Cubic Bézier (0.42, 0) (0.58, 1): slow start, half way at half time.
    filter->setCurrentTime(300);
    opacity->setCurrentTime(300);
    EXPECT_GT(effect->filterStrength(), 0.05);
    EXPECT_LT(effect->filterStrength(), 0.2);
    EXPECT_NEAR(hidden->contentOpacity(), 1 - effect->filterStrength(), 0.001);
    filter->setCurrentTime(600);
    EXPECT_NEAR(effect->filterStrength(), 0.5, 0.01);

    // Half-way pixels are half-way colours.
    const QColor halfway = scene.colourAt(render(scene.window), probe);
    EXPECT_LE(colorDistance(halfway, QColor::fromRgba(NightModeEffect::filtered(brick.rgba(), 0.5))), 1);

    finish(filter);
    finish(opacity);
    EXPECT_DOUBLE_EQ(effect->filterStrength(), 1);
    EXPECT_DOUBLE_EQ(hidden->contentOpacity(), 0);

    // Setting the same value again starts nothing.
    nightMode(scene.container, true);
    EXPECT_EQ(filter->state(), QAbstractAnimation::Stopped);
}
