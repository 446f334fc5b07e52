#pragma once

#include "menu/app_environment.h"
#include "menu/relay_panel.h"
#include "supervisor/relay_monitor.h"

#include <QObject>
#include <QPointer>
#include <memory>

#include <qcoro/qcorotask.h>

class QSystemTrayIcon;

namespace vesperline {

class LoginItem;
class SingleInstance;
class TrayWatch;
class WindowManager;

// The tray application: exactly one RelayMonitor for the life of the
// process, the tray icon that follows its icon state, the panel under the
// icon and the three windows (pair, tokens, hooks). Every view gets the
// monitor through one AppEnvironment.
//
// At login the application may start before the desktop's panel (and its
// tray) exists. So it waits up to `trayWaitMs` for a tray before it shows
// its panel as a window instead, and a tray that appears later still takes
// over: the window goes, the icon comes.
class IdlewynRelayApp : public QObject {
    Q_OBJECT

public:
    struct Options {
        QString instanceName;  // empty: SingleInstance::defaultName()
        int trayWaitMs = 8000; // how long to wait for a tray before showing the window
        int trayCheckIntervalMs = 500;
    };

    explicit IdlewynRelayApp(QObject* parent = nullptr);
    IdlewynRelayApp(Options options, QObject* parent = nullptr);
    ~IdlewynRelayApp() override;

    // Hands over to an instance that is already running (which then shows
    // its panel) and gives false; otherwise creates the monitor, starts
    // looking for a tray, and gives true. Asking the other instance
    // suspends: run the event loop meanwhile.
    QCoro::Task<bool> start();

    RelayMonitor* monitor() const { return m_monitor; }
    // None while the application still waits for a tray.
    RelayPanel* panel() const { return m_panel; }
    QSystemTrayIcon* trayIcon() const { return m_tray; }
    const AppEnvironment& environment() const { return m_environment; }

    // Shows the panel: from the tray icon, or as a window without a tray
    // (at once, even while still waiting for a tray: the user asked for it).
    void showPanel();

signals:
    // The panel was replaced: created at the first decision, and again
    // when a tray takes over from the window.
    void panelChanged(RelayPanel* panel);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateIcon();
    void adoptTray();
    void fallBackToWindow();
    void replacePanel(RelayPanel::Presentation presentation);

    Options m_options;
    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<LoginItem> m_loginItem;
    RelayMonitor* m_monitor = nullptr;
    WindowManager* m_windows = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    TrayWatch* m_trayWatch = nullptr;
    RelayPanel* m_panel = nullptr;
    AppEnvironment m_environment;
};

} // namespace vesperline
