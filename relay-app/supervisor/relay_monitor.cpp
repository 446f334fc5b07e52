#include "supervisor/relay_monitor.h"

#include "model/session_snapshot.h"

#include <QDateTime>
#include <QTimer>

#include <qcoro/qcorotimer.h>

namespace vesperline {

QString describeFailure(const std::exception& error)
{
    if (const auto* known = dynamic_cast<const idlewyn::Error*>(&error)) {
        return known->description();
    }
    return QString::fromUtf8(error.what());
}

QCoro::Task<> sleepUnlessDestroyed(std::chrono::milliseconds duration, QObject* owner)
{
    QTimer timer;
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    if (owner) {
        // Fire at the next turn of the event loop rather than inside the
        // owner's destructor.
        QObject::connect(owner, &QObject::destroyed, &timer, [&timer] { timer.start(0); });
    }
    timer.start(duration);
    co_await timer;
}

RelayMonitor::RelayMonitor(QObject* parent)
    : RelayMonitor(Options{}, parent)
{
}

RelayMonitor::RelayMonitor(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    if (!m_options.sleep) {
        m_options.sleep = sleepUnlessDestroyed;
    }
    m_options.installer.refreshFilesIfOutdated();
    readInstallation();
    m_pollTask.emplace(
        pollLoop(QPointer<RelayMonitor>(this), m_options.menuOpenPause, m_options.menuClosedPause, m_options.sleep));
}

// The poll task's handle goes with the monitor; the loop itself notices the
// monitor is gone at its next step and ends.
RelayMonitor::~RelayMonitor() = default;

void RelayMonitor::setStatus(std::optional<Status> status)
{
    m_status = std::move(status);
    emit statusChanged();
}

void RelayMonitor::setLastError(const std::optional<QString>& text)
{
    if (m_lastError == text) {
        return;
    }
    m_lastError = text;
    emit lastErrorChanged();
}

void RelayMonitor::setActionError(const std::optional<QString>& text)
{
    if (m_actionError == text) {
        return;
    }
    m_actionError = text;
    emit actionErrorChanged();
}

void RelayMonitor::readInstallation()
{
    const RelayInstaller& installer = m_options.installer;
    InstallationState state;
    state.installedRelayPath = installer.installedRelayPath();
    state.usesThisAppsRelay = installer.usesThisAppsRelay();
    state.needsUpdate = installer.needsUpdate();
    if (state == m_installation) {
        return;
    }
    m_installation = std::move(state);
    emit installationChanged();
}

void RelayMonitor::setMenuOpen(bool open)
{
    if (m_menuOpen != open) {
        m_menuOpen = open;
        emit isMenuOpenChanged();
    }
    if (open) {
        // Opening the menu should not wait for the pause in progress.
        (void)refresh();
    }
}

QList<idlewyn::AgentSession> RelayMonitor::sessions() const
{
    if (!m_status) {
        return {};
    }
    return idlewyn::SessionSnapshot{m_status->sessions, QDateTime::currentDateTimeUtc()}.sorted();
}

IconState RelayMonitor::iconState() const
{
    if (!m_status) {
        return IconState::down;
    }
    const QList<idlewyn::AgentSession> list = sessions();
    const auto any = [&](idlewyn::SessionStatus status) {
        return std::any_of(list.cbegin(), list.cend(),
                           [status](const idlewyn::AgentSession& session) { return session.status == status; });
    };
    if (any(idlewyn::SessionStatus::waitingForInput)) {
        return IconState::needsInput;
    }
    if (any(idlewyn::SessionStatus::working)) {
        return IconState::working;
    }
    return IconState::idle;
}

QCoro::Task<> RelayMonitor::refresh()
{
    QPointer<RelayMonitor> self(this);
    const AdminClient admin = m_options.admin;
    std::optional<Status> status;
    QString failure;
    try {
        status = co_await admin.fetchStatus();
    } catch (const std::exception& error) {
        failure = describeFailure(error);
    }
    if (!self) {
        co_return;
    }
    // Before the status, so that views redrawn for the new status see the
    // installation as it is now.
    self->readInstallation();
    if (status) {
        self->setStatus(std::move(status));
        self->setLastError(std::nullopt);
    } else {
        self->setStatus(std::nullopt);
        self->setLastError(failure);
    }
}

QCoro::Task<> RelayMonitor::pollLoop(QPointer<RelayMonitor> monitor, std::chrono::milliseconds menuOpenPause,
                                     std::chrono::milliseconds menuClosedPause, Sleep sleep)
{
    while (monitor) {
        co_await monitor->refresh();
        if (!monitor) {
            break;
        }
        co_await sleep(monitor->isMenuOpen() ? menuOpenPause : menuClosedPause, monitor.data());
    }
}

QCoro::Task<QString> RelayMonitor::runRelay(QStringList arguments)
{
    QPointer<RelayMonitor> self(this);
    const RelayInstaller installer = m_options.installer; // lives in this frame while the relay runs
    std::exception_ptr failure;
    QString output;
    try {
        output = co_await installer.runRelay(std::move(arguments));
    } catch (...) {
        failure = std::current_exception();
    }
    if (self) {
        self->readInstallation();
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
    co_return output;
}

template <class Operation>
QCoro::Task<> RelayMonitor::perform(Operation operation)
{
    QPointer<RelayMonitor> self(this);
    const std::chrono::milliseconds settle = m_options.actionSettle;
    const Sleep sleep = m_options.sleep;

    setActionError(std::nullopt);
    std::optional<QString> failure;
    try {
        co_await operation();
    } catch (const std::exception& error) {
        failure = describeFailure(error);
    }
    if (!self) {
        co_return;
    }
    if (failure) {
        self->setActionError(failure);
    }
    co_await sleep(settle, self.data());
    if (self) {
        co_await self->refresh();
    }
}

// Each operation works on its own copy of the installer or client, which
// lives in the action's frame for as long as the operation runs.

QCoro::Task<> RelayMonitor::start()
{
    return perform([installer = m_options.installer] { return installer.start(); });
}

QCoro::Task<> RelayMonitor::restart()
{
    return perform([installer = m_options.installer] { return installer.restart(); });
}

QCoro::Task<> RelayMonitor::stop()
{
    return perform([installer = m_options.installer] { return installer.stop(); });
}

QCoro::Task<> RelayMonitor::setRemoteApprovals(bool enabled)
{
    return perform([admin = m_options.admin, enabled] { return admin.setRemoteApprovals(enabled); });
}

QCoro::Task<> RelayMonitor::revoke(PairedToken token)
{
    return perform([admin = m_options.admin, id = token.id] { return admin.revoke(id); });
}

} // namespace vesperline
