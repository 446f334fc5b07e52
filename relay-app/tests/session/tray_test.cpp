// The application on a real X server with a real tray host (trayer), started
// before or after the application, as at a login where the desktop's panel
// comes up late; and the StatusNotifier host lookup on a private session bus.
#include "menu/idlewyn_relay_app.h"
#include "menu/relay_panel.h"
#include "menu/tray_watch.h"
#include "menu_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDBusConnection>
#include <QProcess>
#include <QSystemTrayIcon>

using namespace vesperline;
using vesperline::menutest::startedApp;
using vesperline::menutest::waitUntil;

namespace {

class Trayer {
public:
    void start()
    {
        m_process.start(
            QStringLiteral("trayer"),
            QStringLiteral("--edge top --align right --widthtype pixel --width 120 --height 28").split(u' '));
    }
    ~Trayer()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
};

IdlewynRelayApp::Options options(int trayWaitMs)
{
    IdlewynRelayApp::Options result;
    result.trayWaitMs = trayWaitMs;
    result.trayCheckIntervalMs = 50;
    return result;
}

// Windows the user sees; the XEmbed tray icon is a window too, inside the tray.
QList<QWidget*> visibleWindowsBesidesTheIcon()
{
    QList<QWidget*> result;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible() && widget->windowType() != Qt::Popup
            && qstrcmp(widget->metaObject()->className(), "QSystemTrayIconSys") != 0) {
            result << widget;
        }
    }
    return result;
}

// The icon is docked once the tray has given it a place on the screen.
bool iconDocked(const IdlewynRelayApp& app)
{
    return app.trayIcon() && app.trayIcon()->isVisible() && !app.trayIcon()->geometry().isEmpty();
}

} // namespace

TEST(TrayTest, ATrayThatComesDuringTheWaitGetsTheIconThePopupAndNoWindowEverShows)
{
    IdlewynRelayApp& app = startedApp(options(60000));
    // The application is running, waiting: no panel and nothing on screen.
    QApplication::processEvents();
    EXPECT_EQ(app.panel(), nullptr);
    EXPECT_EQ(app.trayIcon(), nullptr);
    EXPECT_TRUE(visibleWindowsBesidesTheIcon().isEmpty());

    Trayer trayer;
    trayer.start();
    ASSERT_TRUE(waitUntil([&] { return iconDocked(app); }));
    EXPECT_EQ(app.panel()->presentation(), RelayPanel::Presentation::popup);
    EXPECT_TRUE(visibleWindowsBesidesTheIcon().isEmpty());

    app.showPanel();
    EXPECT_TRUE(app.panel()->isVisible()) << "the popup opens from the icon";
}

TEST(TrayTest, WithoutATrayTheWindowComesAndALaterTrayTakesOver)
{
    IdlewynRelayApp& app = startedApp(options(0));
    ASSERT_TRUE(waitUntil([&] { return app.panel() && app.panel()->isVisible(); }));
    EXPECT_EQ(app.panel()->presentation(), RelayPanel::Presentation::window);
    EXPECT_EQ(app.trayIcon(), nullptr);

    Trayer trayer;
    trayer.start();
    ASSERT_TRUE(waitUntil([&] { return iconDocked(app); }));
    ASSERT_NE(app.panel(), nullptr);
    EXPECT_EQ(app.panel()->presentation(), RelayPanel::Presentation::popup);
    EXPECT_TRUE(visibleWindowsBesidesTheIcon().isEmpty()) << "the window gives way to the icon";
}

TEST(TrayTest, ASecondLaunchDuringTheWaitShowsTheWindowAtOnce)
{
    IdlewynRelayApp& app = startedApp(options(60000));
    app.showPanel();
    ASSERT_NE(app.panel(), nullptr);
    EXPECT_TRUE(app.panel()->isVisible());
    EXPECT_EQ(app.panel()->presentation(), RelayPanel::Presentation::window);
}

namespace {

// A StatusNotifier watcher as a desktop's panel registers it, reduced to the
// property the application reads.
class Watcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)

public:
    bool hostRegistered = false;
    mutable int asked = 0;
    bool isHostRegistered() const
    {
        ++asked;
        return hostRegistered;
    }
};

} // namespace

TEST(TrayTest, AStatusNotifierHostOnTheSessionBusCountsAsATray)
{
    ASSERT_FALSE(TrayWatch::xembedTrayPresent());
    QDBusConnection bus = QDBusConnection::sessionBus();
    ASSERT_TRUE(bus.isConnected());

    TrayWatch watch(20);
    watch.start();
    Watcher watcher;
    ASSERT_TRUE(
        bus.registerObject(QStringLiteral("/StatusNotifierWatcher"), &watcher, QDBusConnection::ExportAllProperties));
    ASSERT_TRUE(bus.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
    // A watcher without a host (a panel still starting) is no tray yet: the
    // watch asks one question at a time, so the third has heard two answers.
    ASSERT_TRUE(waitUntil([&] { return watcher.asked >= 3; }));
    EXPECT_FALSE(watch.hasAppeared());

    watcher.hostRegistered = true;
    EXPECT_TRUE(waitUntil([&] { return watch.hasAppeared(); }));
    bus.unregisterService(QStringLiteral("org.kde.StatusNotifierWatcher"));
}

#include "tray_test.moc"
