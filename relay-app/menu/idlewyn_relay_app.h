#pragma once

#include "menu/app_environment.h"
#include "supervisor/relay_monitor.h"

#include <QObject>
#include <QPointer>
#include <memory>

#include <qcoro/qcorotask.h>

class QSystemTrayIcon;

namespace vesperline {

class LoginItem;
class RelayPanel;
class SingleInstance;
class WindowManager;

// The tray application: exactly one RelayMonitor for the life of the
// process, the tray icon that follows its icon state, the panel under the
// icon and the three windows (pair, tokens, hooks). Every view gets the
// monitor through one AppEnvironment.
class IdlewynRelayApp : public QObject {
    Q_OBJECT

public:
    explicit IdlewynRelayApp(QObject* parent = nullptr);
    ~IdlewynRelayApp() override;

    // Hands over to an instance that is already running (which then shows
    // its panel) and gives false; otherwise creates the monitor, the icon
    // and the panel, and gives true. Asking the other instance suspends:
    // run the event loop meanwhile.
    QCoro::Task<bool> start();

    RelayMonitor* monitor() const { return m_monitor; }
    RelayPanel* panel() const { return m_panel; }
    const AppEnvironment& environment() const { return m_environment; }

    // Shows the panel: from the tray icon, or as a window without a tray.
    void showPanel();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void updateIcon();

    std::unique_ptr<SingleInstance> m_instance;
    std::unique_ptr<LoginItem> m_loginItem;
    RelayMonitor* m_monitor = nullptr;
    WindowManager* m_windows = nullptr;
    QSystemTrayIcon* m_tray = nullptr;
    RelayPanel* m_panel = nullptr;
    AppEnvironment m_environment;
};

} // namespace vesperline
