#pragma once

#include "model/agent_session.h"
#include "supervisor/admin_client.h"
#include "supervisor/relay_installer.h"
#include "supervisor/status.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <chrono>
#include <exception>
#include <functional>
#include <optional>

#include <qcoro/qcorotask.h>

namespace vesperline {

// What the tray icon shows, in rising urgency.
enum class IconState { down, idle, working, needsInput };

// What the relay controls of the menu need to know about the installation on
// disk. The monitor reads it, so that no view touches the disk.
struct InstallationState {
    // The service definition runs this installation's relay.py.
    bool usesThisAppsRelay = false;
    // An installed relay file differs from the program's copy.
    bool needsUpdate = false;
    // The relay script the service definition runs, if there is one.
    std::optional<QString> installedRelayPath;

    bool operator==(const InstallationState&) const = default;
};

// The user-facing text of a failure: an idlewyn::Error's description, or
// what() of anything else.
QString describeFailure(const std::exception& error);

// The application's one supervisor of the local relay. It polls the relay's
// status document (at once, then every 10 s, every 2 s while the menu is
// open), keeps the last document or the last error, derives the ordered
// session list and the icon state, reads the installation's state with each
// poll, and runs every action the interface offers on the relay. Views read
// its properties, connect to the change signals and call its actions; they
// never talk to the relay, the service manager or the file system
// themselves.
//
// Change signals follow one rule: assigning lastError, actionError,
// isMenuOpen or installation the value it already holds emits nothing;
// every assignment of status emits statusChanged (sessions and iconState
// derive from status and change with it).
//
// Main thread only. The polling loop never keeps the monitor alive: it ends
// soon after the monitor is destroyed, and so do running actions (they
// finish their operation but touch nothing of the monitor).
class RelayMonitor : public QObject {
    Q_OBJECT
    Q_PROPERTY(std::optional<vesperline::Status> status READ status NOTIFY statusChanged)
    Q_PROPERTY(std::optional<QString> lastError READ lastError NOTIFY lastErrorChanged)
    Q_PROPERTY(std::optional<QString> actionError READ actionError WRITE setActionError NOTIFY actionErrorChanged)
    Q_PROPERTY(bool isMenuOpen READ isMenuOpen WRITE setMenuOpen NOTIFY isMenuOpenChanged)
    Q_PROPERTY(QList<idlewyn::AgentSession> sessions READ sessions NOTIFY statusChanged)
    Q_PROPERTY(vesperline::IconState iconState READ iconState NOTIFY statusChanged)
    Q_PROPERTY(vesperline::InstallationState installation READ installation NOTIFY installationChanged)

public:
    // Waits `duration`, or less once `owner` is destroyed.
    using Sleep = std::function<QCoro::Task<>(std::chrono::milliseconds duration, QObject* owner)>;

    struct Options {
        RelayInstaller installer;
        AdminClient admin;
        std::chrono::milliseconds menuOpenPause{2000};
        std::chrono::milliseconds menuClosedPause{10000};
        // Between the end of an action and the refresh that shows its effect.
        std::chrono::milliseconds actionSettle{600};
        // Every pause of the polling loop and of the actions goes through it;
        // default: a monotonic timer that ends early when the monitor goes.
        Sleep sleep;
    };

    // Brings an out-of-date installation's files up to date, then starts the
    // polling loop; its first poll starts at once.
    explicit RelayMonitor(QObject* parent = nullptr);
    explicit RelayMonitor(Options options, QObject* parent = nullptr);
    ~RelayMonitor() override;

    // The last status document; none while the relay is unreachable.
    const std::optional<Status>& status() const { return m_status; }
    // Why the last poll failed; none after a successful one.
    const std::optional<QString>& lastError() const { return m_lastError; }
    // Why the last action failed; cleared when the next action starts. Views
    // may write it too (the menu puts the login-item failure here).
    const std::optional<QString>& actionError() const { return m_actionError; }
    void setActionError(const std::optional<QString>& text);

    bool isMenuOpen() const { return m_menuOpen; }
    // Every assignment of true (also a repeated one) starts one refresh.
    void setMenuOpen(bool open);

    // The status document's sessions in display order (empty without status).
    QList<idlewyn::AgentSession> sessions() const;
    IconState iconState() const;

    // As read at the last poll, action or relay command (and at creation).
    const InstallationState& installation() const { return m_installation; }
    // The relay's output; the menu's "Open Log" opens it.
    QString logFile() const { return m_options.installer.logFile(); }

    // One status poll, which also reads the installation's state again;
    // never fails. Overlapping refreshes each apply their own result when
    // they complete.
    QCoro::Task<> refresh();

    // Runs `relay.py <arguments>` (the hooks window's install-hooks) and
    // returns its output; fails as RelayInstaller::runRelay does. Not an
    // action: the caller shows its own failure. It may install the relay
    // files, so the installation's state is read again afterwards.
    QCoro::Task<QString> runRelay(QStringList arguments);

    // Actions: never fail towards the caller. Each clears actionError, runs,
    // records the failure text in actionError, pauses 0.6 s and refreshes.
    // Views start them and need not wait for them.
    QCoro::Task<> start();   // "Start Relay", "Update Relay", "Use This App’s Relay"
    QCoro::Task<> restart(); // "Restart Relay"
    QCoro::Task<> stop();    // "Stop Relay"
    QCoro::Task<> setRemoteApprovals(bool enabled);
    QCoro::Task<> revoke(vesperline::PairedToken token);

signals:
    void statusChanged();
    void lastErrorChanged();
    void actionErrorChanged();
    void isMenuOpenChanged();
    void installationChanged();

private:
    template <class Operation>
    QCoro::Task<> perform(Operation operation);
    static QCoro::Task<> pollLoop(QPointer<RelayMonitor> monitor, std::chrono::milliseconds menuOpenPause,
                                  std::chrono::milliseconds menuClosedPause, Sleep sleep);

    void setStatus(std::optional<Status> status);
    void setLastError(const std::optional<QString>& text);
    void readInstallation();

    Options m_options;
    std::optional<Status> m_status;
    std::optional<QString> m_lastError;
    std::optional<QString> m_actionError;
    bool m_menuOpen = false;
    InstallationState m_installation;
    std::optional<QCoro::Task<>> m_pollTask;
};

// The default pause: a single-shot timer that also ends when `owner` is
// destroyed (so nothing waits on behalf of an object that is gone).
QCoro::Task<> sleepUnlessDestroyed(std::chrono::milliseconds duration, QObject* owner);

} // namespace vesperline
