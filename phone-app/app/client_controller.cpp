#include "app/client_controller.h"

#include "platform/notifier.h"
#include "platform/qr_decoder.h"

#include "model/error.h"
#include "model/snapshot_lead.h"
#include "relay/pairing_link.h"
#include "relay/relay_error.h"

#include <QImage>
#include <QSettings>
#include <algorithm>
#include <memory>
#include <qcoro/qcorosignal.h>

namespace vesperline {

using idlewyn::AgentProvider;
using idlewyn::Connection;
using idlewyn::PermissionDecision;
using idlewyn::SessionSnapshot;

namespace {

const QString nightModeKey = QStringLiteral("nightMode");

QString answerKey(AgentProvider provider, const QString& promptId)
{
    return idlewyn::rawValue(provider) + u'/' + promptId;
}

std::unique_ptr<QSettings> openSettings(const QString& file)
{
    return file.isEmpty() ? std::make_unique<QSettings>() : std::make_unique<QSettings>(file, QSettings::IniFormat);
}

// "Claude Code and Codex"
QString providerNames(const QList<AgentProvider>& providers)
{
    QStringList names;
    for (const AgentProvider provider : providers) {
        names.append(idlewyn::displayName(provider));
    }
    return names.join(QStringLiteral(" and "));
}

QString shortPin(const std::optional<QString>& pin)
{
    if (!pin || pin->size() < 8) {
        return {};
    }
    return pin->left(4) + u' ' + pin->mid(4, 4) + u'\u2026';
}

} // namespace

ClientController::ClientController(QObject* parent)
    : ClientController(Options{}, parent)
{
}

ClientController::ClientController(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
    m_pollTimer.setSingleShot(true);
    connect(&m_pollTimer, &QTimer::timeout, this, [this] { refresh(); });
    m_nightMode = openSettings(m_options.settingsFile)->value(nightModeKey, false).toBool();
}

ClientController::~ClientController() = default;

void ClientController::setNotifier(Notifier* notifier)
{
    if (m_notifier) {
        disconnect(m_notifier, nullptr, this, nullptr);
    }
    m_notifier = notifier;
    if (notifier) {
        connect(notifier, &Notifier::actionInvoked, this, &ClientController::onAlertAction);
        connect(notifier, &Notifier::activated, this, &ClientController::onAlertActivated);
    }
}

void ClientController::start()
{
    m_polling = true;
    [](QPointer<ClientController> self) -> QCoro::Task<> {
        co_await self->loadConnections();
        if (self) {
            co_await self->refresh();
        }
        if (self) {
            co_await self->readAwayMode();
        }
    }(this);
}

QCoro::Task<> ClientController::loadConnections()
{
    QPointer<ClientController> self(this);
    const idlewyn::ConnectionStore store = m_options.store;
    const SessionSnapshot lastKnown = m_options.snapshotStore.load();
    QList<Connection> connections = co_await store.load();
    if (!self) {
        co_return;
    }
    // The last run's sessions stand in for a relay that does not answer now.
    if (!connections.isEmpty() && m_snapshot == SessionSnapshot::empty()) {
        m_snapshot = lastKnown;
    }
    setConnections(std::move(connections));
}

void ClientController::setConnections(QList<Connection> connections)
{
    m_connections = std::move(connections);
    if (std::none_of(m_connections.cbegin(), m_connections.cend(), [](const Connection& c) { return !c.isDemo(); })) {
        m_awayMode.reset();
        emit awayModeChanged();
    }
    emit connectionsChanged();
}

QList<Connection> ClientController::polledConnections() const
{
    if (!m_connections.isEmpty()) {
        return m_connections;
    }
    QList<Connection> demos;
    for (const AgentProvider provider : idlewyn::AgentProviders::allCases()) {
        demos.append(Connection::demo(provider));
    }
    return demos;
}

// One refresh at a time: a caller that comes while one runs is served by the
// next one, which starts when the running one ends. Overlapping refreshes
// could apply an older snapshot after a newer one, and the alerts would see
// the sessions go back and forth.
QCoro::Task<> ClientController::refresh()
{
    QPointer<ClientController> self(this);
    const quint64 wanted = ++m_refreshRequests;
    if (m_refreshing) {
        while (self && self->m_refreshesDone < wanted) {
            co_await qCoro(self.data(), &ClientController::refreshFinished);
        }
        co_return;
    }
    m_refreshing = true;
    m_pollTimer.stop();
    while (self && self->m_refreshesDone < self->m_refreshRequests) {
        const quint64 covers = self->m_refreshRequests;
        const QList<Connection> asked = self->polledConnections();
        // Demo sessions are never anybody's last known state.
        const SessionSnapshot fallback = self->m_showingDemo ? SessionSnapshot::empty() : self->m_snapshot;
        idlewyn::LiveSessionService service = self->m_options.service;
        auto result = co_await service.snapshot(asked, fallback);
        if (!self) {
            co_return;
        }
        // A pairing or an unpairing that ended meanwhile makes this answer
        // one about connections we no longer have: ask again.
        if (asked == self->polledConnections()) {
            self->apply(std::move(result), asked);
            self->m_refreshesDone = covers;
        }
        emit self->refreshFinished();
    }
    if (self) {
        self->m_refreshing = false;
        self->scheduleNext();
    }
}

void ClientController::apply(idlewyn::LiveSessionService::SnapshotResult result, QList<Connection> asked)
{
    const bool demo = std::all_of(asked.cbegin(), asked.cend(), [](const Connection& c) { return c.isDemo(); });
    QList<AgentProvider> failed;
    m_errors.clear();
    for (auto it = result.errors.cbegin(); it != result.errors.cend(); ++it) {
        m_errors.insert(it.key(), idlewyn::describeFailure(it.value()));
        failed.append(it.key());
    }
    if (!demo) {
        m_options.snapshotStore.save(result.snapshot);
    } else if (!m_showingDemo) {
        // Widgets show nothing rather than made-up sessions.
        m_options.snapshotStore.clear();
    }
    m_snapshot = std::move(result.snapshot);
    m_showingDemo = demo;

    const AlertPlanner::Plan plan = m_planner.plan(m_snapshot, asked, failed);
    for (const QString& id : plan.withdraw) {
        m_alerts.remove(id);
        if (m_notifier) {
            m_notifier->withdraw(id);
        }
    }
    for (const Alert& alert : plan.show) {
        m_alerts.insert(alert.id, alert);
        if (m_notifier) {
            m_notifier->show(alert);
        }
    }

    m_model.setSessions(m_snapshot.sorted(), demo, QSet<AgentProvider>(failed.cbegin(), failed.cend()));
    m_loaded = true;
    ++m_revision;
    emit snapshotChanged();
}

void ClientController::scheduleNext()
{
    if (m_polling && !m_refreshing) {
        m_pollTimer.start(m_windowActive ? m_options.activeInterval : m_options.backgroundInterval);
    }
}

void ClientController::refreshSoon()
{
    refresh();
}

QString ClientController::headline() const
{
    return idlewyn::SnapshotLead(m_snapshot).summary();
}

QString ClientController::headlineStatus() const
{
    return idlewyn::rawValue(idlewyn::SnapshotLead(m_snapshot).status);
}

QVariantList ClientController::providerErrors() const
{
    QVariantList rows;
    for (const AgentProvider provider : idlewyn::AgentProviders::allCases()) {
        if (m_errors.contains(provider)) {
            rows.append(QVariantMap{{QStringLiteral("provider"), idlewyn::rawValue(provider)},
                                    {QStringLiteral("providerName"), idlewyn::displayName(provider)},
                                    {QStringLiteral("text"), m_errors.value(provider)}});
        }
    }
    return rows;
}

QVariantList ClientController::connectionRows() const
{
    QVariantList rows;
    for (const Connection& connection : m_connections) {
        const QUrl server = connection.serverURL.value_or(QUrl());
        rows.append(QVariantMap{
            {QStringLiteral("provider"), idlewyn::rawValue(connection.provider)},
            {QStringLiteral("providerName"), idlewyn::displayName(connection.provider)},
            {QStringLiteral("account"), connection.accountName},
            {QStringLiteral("server"), server.toDisplayString(QUrl::RemoveUserInfo | QUrl::StripTrailingSlash)},
            {QStringLiteral("shortPin"), shortPin(connection.certificatePin)},
            {QStringLiteral("since"), connection.connectedAt},
        });
    }
    return rows;
}

void ClientController::setWindowActive(bool active)
{
    if (m_windowActive == active) {
        return;
    }
    m_windowActive = active;
    emit windowActiveChanged();
    // The person looks now: what they see should not be ten seconds old.
    if (active && m_polling) {
        refresh();
        readAwayMode();
    } else if (!m_refreshing) {
        scheduleNext();
    }
}

void ClientController::setNightMode(bool on)
{
    if (m_nightMode == on) {
        return;
    }
    m_nightMode = on;
    openSettings(m_options.settingsFile)->setValue(nightModeKey, on);
    emit nightModeChanged();
}

void ClientController::setNotice(const QString& text)
{
    if (m_notice != text) {
        m_notice = text;
        emit noticeChanged();
    }
}

void ClientController::clearNotice()
{
    setNotice({});
}

QString ClientController::refusedLinkText()
{
    return QStringLiteral("That isn\u2019t a Vesperline pairing link.");
}

QString ClientController::answeredElsewhereText()
{
    return QStringLiteral("Answered elsewhere.");
}

// ---- pairing

QCoro::Task<ClientController::PairingResult> ClientController::pair(QString text, QList<AgentProvider> providers)
{
    QPointer<ClientController> self(this);
    PairingResult result;
    const std::optional<idlewyn::PairingLink> link = idlewyn::PairingLink::fromUrl(QUrl(text.trimmed()));
    if (!link || providers.isEmpty()) {
        result.message = link ? QStringLiteral("Choose Claude Code, Codex or both.") : refusedLinkText();
        m_pairingMessage = result.message;
        m_pairingSucceeded = false;
        emit pairingChanged();
        co_return result;
    }
    m_pairing = true;
    m_pairingMessage.clear();
    emit pairingChanged();

    idlewyn::LiveSessionService service = m_options.service;
    const idlewyn::ConnectionStore store = m_options.store;
    QList<Connection> made;
    for (const AgentProvider provider : providers) {
        try {
            made.append(co_await service.pair(provider, link->serverURL, link->code, link->certificatePin));
            result.paired.append(provider);
        } catch (...) {
            result.failures.insert(provider, idlewyn::describeFailure(std::current_exception()));
        }
    }
    std::optional<QList<Connection>> stored;
    if (!made.isEmpty()) {
        // Read afresh and failing loudly: a list that could not be read must
        // not be replaced by the new connections alone.
        try {
            QList<Connection> list = co_await store.loadForChange();
            for (const Connection& connection : made) {
                list.removeIf([&](const Connection& old) { return old.provider == connection.provider; });
                list.append(connection);
            }
            co_await store.save(list);
            stored = std::move(list);
        } catch (...) {
            result.message = idlewyn::describeFailure(std::current_exception());
        }
    }
    if (!self) {
        co_return result;
    }

    QStringList lines;
    if (!result.message.isEmpty()) {
        lines.append(result.message);
    } else if (!result.paired.isEmpty()) {
        lines.append(QStringLiteral("Paired for %1.").arg(providerNames(result.paired)));
    }
    QStringList texts;
    for (const AgentProvider provider : providers) {
        if (result.failures.contains(provider) && !texts.contains(result.failures.value(provider))) {
            texts.append(result.failures.value(provider));
        }
    }
    if (texts.size() == 1 && result.paired.isEmpty()) {
        lines.append(texts.first());
    } else {
        for (const AgentProvider provider : providers) {
            if (result.failures.contains(provider)) {
                lines.append(idlewyn::displayName(provider) + QStringLiteral(": ") + result.failures.value(provider));
            }
        }
    }
    self->m_pairing = false;
    self->m_pairingSucceeded = result.succeeded();
    self->m_pairingMessage = lines.join(u'\n');
    emit self->pairingChanged();
    if (stored) {
        self->setConnections(std::move(*stored));
        co_await self->refresh();
        if (self) {
            co_await self->readAwayMode();
        }
    }
    co_return result;
}

void ClientController::pairWithText(const QString& text, bool claude, bool codex)
{
    QList<AgentProvider> providers;
    if (claude) {
        providers.append(AgentProvider::claude);
    }
    if (codex) {
        providers.append(AgentProvider::codex);
    }
    pair(text, providers);
}

void ClientController::pairWithImage(const QUrl& file, bool claude, bool codex)
{
    const QImage image(file.isLocalFile() ? file.toLocalFile() : file.toString());
    const std::optional<QString> text = image.isNull() ? std::nullopt : QrDecoder::decode(image);
    if (!text) {
        m_pairingMessage = image.isNull() ? QStringLiteral("That file isn\u2019t an image Vesperline can read.")
                                          : QStringLiteral("No QR code was found in that image.");
        m_pairingSucceeded = false;
        emit pairingChanged();
        return;
    }
    pairWithText(*text, claude, codex);
}

// ---- answering

QCoro::Task<> ClientController::decide(AgentProvider provider, QString promptId, PermissionDecision decision)
{
    QPointer<ClientController> self(this);
    const QList<Connection> connections = polledConnections();
    const auto connection = std::find_if(connections.cbegin(), connections.cend(),
                                         [&](const Connection& c) { return c.provider == provider; });
    if (connection == connections.cend()) {
        co_return;
    }
    idlewyn::LiveSessionService service = m_options.service;
    QString failure;
    try {
        co_await service.decide(decision, promptId, *connection);
    } catch (...) {
        failure = idlewyn::describeFailure(std::current_exception());
    }
    if (!self) {
        co_return;
    }
    if (failure.isEmpty()) {
        self->m_answeredHere.insert(answerKey(provider, promptId), decision);
    }
    self->setNotice(failure);
    co_await self->refresh();
}

void ClientController::answer(const QString& key, const QString& promptId, const QString& decision)
{
    const std::optional<AgentProvider> provider = idlewyn::agentProviderFromRawValue(key.section(u':', 0, 0));
    const std::optional<PermissionDecision> chosen = idlewyn::permissionDecisionFromRawValue(decision);
    if (provider && chosen) {
        decide(*provider, promptId, *chosen);
    }
}

QString ClientController::promptOutcome(const QString& key, const QString& promptId) const
{
    for (const idlewyn::AgentSession& session : m_snapshot.sessions) {
        if (sessionKey(session) == key && session.permission && session.permission->id == promptId) {
            return {};
        }
    }
    const std::optional<AgentProvider> provider = idlewyn::agentProviderFromRawValue(key.section(u':', 0, 0));
    if (!provider || !m_answeredHere.contains(answerKey(*provider, promptId))) {
        return answeredElsewhereText();
    }
    switch (m_answeredHere.value(answerKey(*provider, promptId))) {
    case PermissionDecision::allow:
        return QStringLiteral("Allowed from this phone.");
    case PermissionDecision::deny:
        return QStringLiteral("Denied from this phone.");
    case PermissionDecision::always:
        return QStringLiteral("Always allowed from this phone.");
    }
    return {};
}

void ClientController::onAlertAction(const QString& alertId, const QString& action)
{
    const Alert alert = m_alerts.value(alertId);
    const std::optional<PermissionDecision> decision = idlewyn::permissionDecisionFromRawValue(action);
    if (alert.promptId && (decision == PermissionDecision::allow || decision == PermissionDecision::deny)) {
        decide(alert.provider, *alert.promptId, *decision);
    }
}

void ClientController::onAlertActivated(const QString& alertId)
{
    const auto alert = m_alerts.constFind(alertId);
    if (alert != m_alerts.cend()) {
        emit showSessionRequested(idlewyn::rawValue(alert->provider) + u':' + alert->sessionId);
    }
}

// ---- settings

QCoro::Task<> ClientController::unpair(AgentProvider provider)
{
    QPointer<ClientController> self(this);
    const auto found = std::find_if(m_connections.cbegin(), m_connections.cend(),
                                    [&](const Connection& c) { return c.provider == provider; });
    if (found == m_connections.cend()) {
        co_return;
    }
    const Connection connection = *found;
    idlewyn::LiveSessionService service = m_options.service;
    const idlewyn::ConnectionStore store = m_options.store;
    QString failure;
    try {
        co_await service.unpair(connection);
    } catch (const idlewyn::RelayError& error) {
        if (error.kind() != idlewyn::RelayError::Kind::unauthorized) {
            failure = error.description();
        }
    } catch (...) {
        failure = idlewyn::describeFailure(std::current_exception());
    }
    std::optional<QList<Connection>> stored;
    if (failure.isEmpty()) {
        try {
            QList<Connection> list = co_await store.loadForChange();
            list.removeIf([&](const Connection& c) { return c.provider == provider; });
            co_await store.save(list);
            stored = std::move(list);
        } catch (...) {
            failure = idlewyn::describeFailure(std::current_exception());
        }
    }
    if (!self) {
        co_return;
    }
    self->setNotice(failure);
    if (stored) {
        self->setConnections(std::move(*stored));
        co_await self->refresh();
    }
}

void ClientController::unpairProvider(const QString& provider)
{
    if (const auto known = idlewyn::agentProviderFromRawValue(provider)) {
        unpair(*known);
    }
}

QCoro::Task<> ClientController::readAwayMode()
{
    QPointer<ClientController> self(this);
    // Away mode is the relay's switch; Claude's connection names the relay
    // whose prompts it holds.
    std::optional<Connection> connection;
    for (const Connection& c : m_connections) {
        if (!connection || c.provider == AgentProvider::claude) {
            connection = c;
        }
    }
    if (!connection) {
        co_return;
    }
    idlewyn::LiveSessionService service = m_options.service;
    try {
        const bool on = co_await service.remoteApprovals(*connection);
        if (self && self->m_awayMode != on) {
            self->m_awayMode = on;
            emit self->awayModeChanged();
        }
    } catch (...) {
        // The refresh shows the relay's trouble; the switch keeps what it knew.
    }
}

QCoro::Task<> ClientController::setAwayMode(bool on)
{
    QPointer<ClientController> self(this);
    idlewyn::LiveSessionService service = m_options.service;
    QList<Connection> relays; // one connection per relay: the switch is the relay's, not the provider's
    for (const Connection& c : m_connections) {
        if (std::none_of(relays.cbegin(), relays.cend(),
                         [&](const Connection& r) { return r.serverURL == c.serverURL; })) {
            relays.append(c);
        }
    }
    std::optional<bool> reported;
    QString failure;
    for (const Connection& relay : relays) {
        try {
            reported = co_await service.setRemoteApprovals(on, relay);
        } catch (...) {
            failure = idlewyn::describeFailure(std::current_exception());
        }
    }
    if (!self) {
        co_return;
    }
    self->setNotice(failure);
    if (reported && self->m_awayMode != reported) {
        self->m_awayMode = reported;
    }
    // Also when nothing changed: a switch that was flipped in the view and
    // refused must go back.
    emit self->awayModeChanged();
}

void ClientController::switchAwayMode(bool on)
{
    setAwayMode(on);
}

void ClientController::checkAwayMode()
{
    readAwayMode();
}

} // namespace vesperline
