#pragma once

#include "alerts/alert_planner.h"
#include "app/session_list_model.h"

#include "model/permission_prompt.h"
#include "model/session_snapshot.h"
#include "model/snapshot_store.h"
#include "relay/connection_store.h"
#include "relay/live_session_service.h"

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QVariantList>
#include <chrono>
#include <optional>
#include <qcoro/qcorotask.h>

namespace vesperline {

class Notifier;

// The client's core: the paired connections, the polling of their relays,
// the sessions as a list model, answering prompts, pairing and unpairing,
// away mode and night mode, and the alerts a refresh raises. QML reads its
// properties and calls its invokables; tests await its coroutines.
//
// Polling: at once, then every 2 s while the window is active and every 10 s
// otherwise; the last snapshot is the fallback of the next, and each is saved
// for widgets. Nothing paired means the demo sessions of both providers,
// marked as such, and no alerts.
//
// Main thread only. Running tasks touch nothing of a controller that has
// gone.
class ClientController : public QObject {
    Q_OBJECT
    Q_PROPERTY(vesperline::SessionListModel* sessions READ sessions CONSTANT)
    Q_PROPERTY(QString headline READ headline NOTIFY snapshotChanged)
    Q_PROPERTY(QString headlineStatus READ headlineStatus NOTIFY snapshotChanged)
    Q_PROPERTY(bool showingDemo READ showingDemo NOTIFY snapshotChanged)
    Q_PROPERTY(bool loaded READ loaded NOTIFY snapshotChanged)
    Q_PROPERTY(QVariantList providerErrors READ providerErrors NOTIFY snapshotChanged)
    Q_PROPERTY(int revision READ revision NOTIFY snapshotChanged)
    Q_PROPERTY(QVariantList connections READ connectionRows NOTIFY connectionsChanged)
    Q_PROPERTY(bool windowActive READ windowActive WRITE setWindowActive NOTIFY windowActiveChanged)
    Q_PROPERTY(bool awayMode READ awayMode NOTIFY awayModeChanged)
    Q_PROPERTY(bool awayModeKnown READ awayModeKnown NOTIFY awayModeChanged)
    Q_PROPERTY(bool nightMode READ nightMode WRITE setNightMode NOTIFY nightModeChanged)
    Q_PROPERTY(bool pairing READ pairing NOTIFY pairingChanged)
    Q_PROPERTY(QString pairingMessage READ pairingMessage NOTIFY pairingChanged)
    Q_PROPERTY(bool pairingSucceeded READ pairingSucceeded NOTIFY pairingChanged)
    Q_PROPERTY(QString notice READ notice NOTIFY noticeChanged)

public:
    struct Options {
        idlewyn::ConnectionStore store = idlewyn::ConnectionStore::shared();
        idlewyn::SnapshotStore snapshotStore = idlewyn::SnapshotStore::shared();
        idlewyn::LiveSessionService service = idlewyn::LiveSessionService();
        std::chrono::milliseconds activeInterval{2000};
        std::chrono::milliseconds backgroundInterval{10000};
        // Where night mode is remembered; the application's settings when empty.
        QString settingsFile;
    };

    // What a pairing attempt ended with, per provider asked for.
    struct PairingResult {
        QList<idlewyn::AgentProvider> paired;
        // provider -> the failure's text
        QHash<idlewyn::AgentProvider, QString> failures;
        // Set when nothing was even tried (the link), or when the pairing
        // worked but the connections could not be stored.
        QString message;
        bool succeeded() const { return !paired.isEmpty() && message.isEmpty(); }
    };

    explicit ClientController(Options options, QObject* parent = nullptr);
    explicit ClientController(QObject* parent = nullptr);
    ~ClientController() override;

    // Alerts go to the notifier; its actions answer prompts and its
    // activations ask for a session to be shown. Without one, no alerts.
    void setNotifier(Notifier* notifier);

    // Loads the stored connections and the last snapshot, then polls.
    void start();

    SessionListModel* sessions() { return &m_model; }
    QString headline() const;
    QString headlineStatus() const;
    bool showingDemo() const { return m_showingDemo; }
    bool loaded() const { return m_loaded; }
    QVariantList providerErrors() const;
    int revision() const { return m_revision; }
    const QList<idlewyn::Connection>& connectionList() const { return m_connections; }
    QVariantList connectionRows() const;
    const idlewyn::SessionSnapshot& snapshot() const { return m_snapshot; }
    // provider -> text of its last failure (only providers that failed)
    const QHash<idlewyn::AgentProvider, QString>& errors() const { return m_errors; }
    bool windowActive() const { return m_windowActive; }
    void setWindowActive(bool active);
    bool awayMode() const { return m_awayMode.value_or(false); }
    bool awayModeKnown() const { return m_awayMode.has_value(); }
    bool nightMode() const { return m_nightMode; }
    void setNightMode(bool on);
    bool pairing() const { return m_pairing; }
    QString pairingMessage() const { return m_pairingMessage; }
    bool pairingSucceeded() const { return m_pairingSucceeded; }
    QString notice() const { return m_notice; }

    // For QML: each starts the coroutine below and reports through the
    // properties.
    Q_INVOKABLE void pairWithText(const QString& text, bool claude, bool codex);
    Q_INVOKABLE void pairWithImage(const QUrl& file, bool claude, bool codex);
    Q_INVOKABLE void answer(const QString& key, const QString& promptId, const QString& decision);
    Q_INVOKABLE void unpairProvider(const QString& provider);
    Q_INVOKABLE void switchAwayMode(bool on);
    // Asks the relay again: away mode is switched from the computer too.
    Q_INVOKABLE void checkAwayMode();
    Q_INVOKABLE void refreshSoon();
    Q_INVOKABLE void clearNotice();
    // What became of a prompt the person saw: empty while it is pending.
    Q_INVOKABLE QString promptOutcome(const QString& key, const QString& promptId) const;

    QCoro::Task<> loadConnections();
    // One refresh of every connection; never fails.
    QCoro::Task<> refresh();
    QCoro::Task<PairingResult> pair(QString text, QList<idlewyn::AgentProvider> providers);
    // Answers and refreshes; a failure becomes the notice.
    QCoro::Task<> decide(idlewyn::AgentProvider provider, QString promptId, idlewyn::PermissionDecision decision);
    // Tells the relay, then forgets the connection. A relay that no longer
    // knows the token (unauthorized) is forgotten too; any other failure
    // keeps the connection and becomes the notice.
    QCoro::Task<> unpair(idlewyn::AgentProvider provider);
    QCoro::Task<> setAwayMode(bool on);

    static QString refusedLinkText();
    static QString answeredElsewhereText();

signals:
    void snapshotChanged();
    void connectionsChanged();
    void windowActiveChanged();
    void awayModeChanged();
    void nightModeChanged();
    void pairingChanged();
    void noticeChanged();
    // A notification was activated: show this session.
    void showSessionRequested(const QString& key);
    void refreshFinished();

private:
    QList<idlewyn::Connection> polledConnections() const;
    void apply(idlewyn::LiveSessionService::SnapshotResult result, QList<idlewyn::Connection> asked);
    void scheduleNext();
    void setNotice(const QString& text);
    void setConnections(QList<idlewyn::Connection> connections);
    QCoro::Task<> readAwayMode();
    void onAlertAction(const QString& alertId, const QString& action);
    void onAlertActivated(const QString& alertId);

    Options m_options;
    SessionListModel m_model;
    AlertPlanner m_planner;
    QPointer<Notifier> m_notifier;
    QHash<QString, Alert> m_alerts; // shown, by id

    QList<idlewyn::Connection> m_connections;
    idlewyn::SessionSnapshot m_snapshot = idlewyn::SessionSnapshot::empty();
    QHash<idlewyn::AgentProvider, QString> m_errors;
    bool m_showingDemo = false;
    bool m_loaded = false;
    int m_revision = 0;

    // provider/prompt id -> the decision given here
    QHash<QString, idlewyn::PermissionDecision> m_answeredHere;

    QTimer m_pollTimer;
    bool m_polling = false;
    bool m_refreshing = false;
    quint64 m_refreshRequests = 0;
    quint64 m_refreshesDone = 0;
    bool m_windowActive = false;

    std::optional<bool> m_awayMode;
    bool m_nightMode = false;
    bool m_pairing = false;
    QString m_pairingMessage;
    bool m_pairingSucceeded = false;
    QString m_notice;
};

} // namespace vesperline
