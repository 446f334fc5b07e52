// The application as a client of a real Wayland compositor (Weston,
// headless): it starts, finds no tray there, and shows its panel as a
// window; the panel the tray opens on Wayland goes on Escape. Screenshots of
// the panel, from inside and from the compositor, go into the build tree.
#include "menu/idlewyn_relay_app.h"
#include "menu/relay_panel.h"
#include "menu_fixture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <QWindow>

using namespace vesperline;
using vesperline::menutest::MenuFixture;
using vesperline::menutest::startedApp;
using vesperline::menutest::waitUntil;

namespace {

QString screenshotDirectory()
{
    const QString directory = QStringLiteral(VESPERLINE_BINARY_DIR) + QStringLiteral("/wayland-screenshots");
    QDir().mkpath(directory);
    return directory;
}

bool exposed(QWidget* widget)
{
    return widget && widget->isVisible() && widget->windowHandle() && widget->windowHandle()->isExposed();
}

// More than a blank: the grab has text and a background, so many colours.
int colourCount(const QImage& image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 2) {
        for (int x = 0; x < image.width(); x += 2) {
            colours.insert(image.pixel(x, y));
        }
    }
    return int(colours.size());
}

} // namespace

TEST(WaylandTest, TheApplicationStartsAndShowsItsPanelAsAWindow)
{
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("wayland"));
    IdlewynRelayApp::Options options;
    options.trayWaitMs = 0;
    IdlewynRelayApp& app = startedApp(options);
    ASSERT_TRUE(waitUntil([&] { return exposed(app.panel()); }));
    EXPECT_EQ(app.panel()->presentation(), RelayPanel::Presentation::window) << "Weston has no tray";
    // The first poll has failed (no relay runs): the panel shows it.
    ASSERT_TRUE(waitUntil([&] { return app.monitor()->lastError().has_value(); }));
    QTest::qWait(200); // let the compositor show the repainted buffer

    const QImage inside = app.panel()->grab().toImage();
    EXPECT_TRUE(inside.save(screenshotDirectory() + QStringLiteral("/panel-window-grab.png")));
    EXPECT_GT(colourCount(inside), 8);

    // The compositor's own picture of its output, which holds the panel.
    QProcess screenshooter;
    screenshooter.setWorkingDirectory(screenshotDirectory());
    for (const QString& old : QDir(screenshotDirectory()).entryList({QStringLiteral("wayland-screenshot-*.png")})) {
        QFile::remove(screenshotDirectory() + u'/' + old);
    }
    screenshooter.start(QStringLiteral("weston-screenshooter"), {});
    ASSERT_TRUE(waitUntil([&] { return screenshooter.state() == QProcess::NotRunning; }));
    EXPECT_EQ(screenshooter.exitCode(), 0) << screenshooter.readAll().constData();
    const QStringList shots = QDir(screenshotDirectory()).entryList({QStringLiteral("wayland-screenshot-*.png")});
    ASSERT_EQ(shots.size(), 1);
    const QString output = screenshotDirectory() + QStringLiteral("/panel-window-weston.png");
    QFile::remove(output);
    ASSERT_TRUE(QFile::rename(screenshotDirectory() + u'/' + shots.first(), output));
    const QImage screen(output);
    ASSERT_FALSE(screen.isNull());
    EXPECT_GT(colourCount(screen), 8);
}

TEST(WaylandTest, TheTraysPanelIsAWindowThatGoesOnEscapeAndDoesNotQuit)
{
    ASSERT_EQ(RelayPanel::trayPresentation(), RelayPanel::Presentation::transient)
        << "a popup cannot be placed from a tray click on Wayland";
    MenuFixture fixture;
    RelayPanel panel(fixture.environment(), RelayPanel::Presentation::transient);
    panel.present();
    ASSERT_TRUE(waitUntil([&] { return exposed(&panel); }));
    EXPECT_TRUE(fixture.monitor().isMenuOpen());
    const QImage inside = panel.grab().toImage();
    EXPECT_TRUE(inside.save(screenshotDirectory() + QStringLiteral("/panel-transient-grab.png")));

    QTest::keyClick(&panel, Qt::Key_Escape);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(fixture.monitor().isMenuOpen());

    panel.present();
    ASSERT_TRUE(waitUntil([&] { return exposed(&panel); }));
    panel.close();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(fixture.quits, 0) << "with a tray, closing the panel is not quitting";
}
