// The application as a client of a real Wayland compositor (Weston,
// headless): it starts, finds no tray there, and shows its panel as a
// window; the panel the tray opens on Wayland goes on Escape.
#include "menu/idlewyn_relay_app.h"
#include "menu/relay_panel.h"
#include "menu_fixture.h"

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTest>
#include <QWindow>

using namespace vesperline;
using vesperline::menutest::MenuFixture;
using vesperline::menutest::startedApp;
using vesperline::menutest::waitUntil;

namespace {

bool exposed(QWidget* widget)
{
    return widget && widget->isVisible() && widget->windowHandle() && widget->windowHandle()->isExposed();
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
}

TEST(WaylandTest, TheTraysPanelIsAWindowThatGoesOnEscapeAndDoesNotQuit)
{
    ASSERT_EQ(RelayPanel::trayPresentation(), RelayPanel::Presentation::transient)
        << "a popup cannot be placed from a tray click on Wayland";
    MenuFixture fixture;
    RelayPanel panel(fixture.environment(), RelayPanel::Presentation::transient);
    panel.present();
    ASSERT_TRUE(waitUntil([&] { return exposed(&panel); }));

    QTest::keyClick(&panel, Qt::Key_Escape);
    EXPECT_FALSE(panel.isVisible());

    panel.present();
    ASSERT_TRUE(waitUntil([&] { return exposed(&panel); }));
    panel.close();
    EXPECT_FALSE(panel.isVisible());
    EXPECT_EQ(fixture.quits, 0) << "with a tray, closing the panel is not quitting";
}
