// The client's core against the real relay (TLS, pinned) and the real Secret
// Service; only the notifier is a recording stand-in, since the desktop's
// notification server is the platform layer's to test.
#include "app/client_controller.h"
#include "platform/notifier.h"

#include "model/snapshot_store.h"
#include "relay/keychain_store.h"
#include "relay/relay_error.h"
#include "support/in_memory_secret_backend.h"
#include "support/outcome.h"
#include "support/relay_process.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>

using namespace idlewyn;
using idlewyn::testing::blockingWait;
using idlewyn::testing::RelayProcess;
using vesperline::Alert;
using vesperline::ClientController;

namespace {

const QList<AgentProvider> both{AgentProvider::claude, AgentProvider::codex};

class RecordingNotifier final : public vesperline::Notifier {
public:
    void show(const Alert& alert) override { shown.append(alert); }
    void withdraw(const QString& alertId) override { withdrawn.append(alertId); }

    QList<Alert> shown;
    QStringList withdrawn;
};

QString behaviourOf(const RelayProcess::HookRun& run)
{
    return QJsonDocument::fromJson(run.output).object()[u"hookSpecificOutput"][u"decision"][u"behavior"].toString();
}

class ClientTest : public ::testing::Test {
protected:
    ClientController::Options options()
    {
        ClientController::Options options;
        options.settingsFile = settings.filePath(QStringLiteral("settings.ini"));
        return options;
    }

    QString link() const { return relay.status()[u"pairingLink"].toString(); }

    // The link with one query item replaced.
    QString linkWith(const QString& key, const QString& value) const
    {
        QUrl url(link());
        QUrlQuery query(url);
        query.removeAllQueryItems(key);
        query.addQueryItem(key, QString::fromLatin1(QUrl::toPercentEncoding(value)));
        url.setQuery(query);
        return url.toString(QUrl::FullyEncoded);
    }

    void pairBoth()
    {
        const auto result = blockingWait(client.pair(link(), both));
        ASSERT_TRUE(result.succeeded()) << client.pairingMessage().toStdString();
    }

    static QList<Connection> stored() { return blockingWait(ConnectionStore::shared().load()); }

    void refreshUntil(const std::function<bool()>& condition, const QString& what)
    {
        RelayProcess::waitUntil(
            [&] {
                blockingWait(client.refresh());
                return condition();
            },
            what);
    }

    std::optional<AgentSession> session(const QString& id) const
    {
        for (const AgentSession& s : client.snapshot().sessions) {
            if (s.id == id) {
                return s;
            }
        }
        return std::nullopt;
    }

    RelayProcess relay{RelayProcess::Options{.tls = true}};
    QTemporaryDir settings;
    ClientController client{options()};
};

} // namespace

TEST_F(ClientTest, EveryPairingFailureShowsItsTextAndKeepsTheStoredConnections)
{
    pairBoth();
    EXPECT_EQ(client.pairingMessage(), QStringLiteral("Paired for Claude Code and Codex."));
    const QList<Connection> before = stored();
    ASSERT_EQ(before.size(), 2);
    EXPECT_EQ(before.first().certificatePin, relay.certificateFingerprint());

    struct Case {
        const char* what;
        QString link;
        QString text;
    };
    const QList<Case> cases{
        {"a link of another kind", QStringLiteral("https://example.com/pair?code=1"),
         ClientController::refusedLinkText()},
        {"another certificate", linkWith(QStringLiteral("pin"), QString(64, u'0')),
         RelayError::certificateMismatch().description()},
        {"a wrong code", linkWith(QStringLiteral("code"), QStringLiteral("not-the-code")),
         RelayError::unauthorized().description()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        blockingWait(client.pair(c.link, {AgentProvider::claude}));
        EXPECT_FALSE(client.pairingSucceeded());
        EXPECT_EQ(client.pairingMessage(), c.text);
        EXPECT_EQ(stored(), before);
        EXPECT_EQ(client.connectionList(), before);
    }
}

TEST_F(ClientTest, AKeychainThatCannotBeReadIsNeverOverwrittenByAPairing)
{
    const auto backend = std::make_shared<idlewyn::testing::InMemorySecretBackend>();
    const ConnectionStore store(KeychainStore(QStringLiteral("phone-tests"), std::nullopt, backend));
    const Connection earlier{AgentProvider::codex,
                             QUrl(QStringLiteral("https://10.0.0.2:8787")),
                             QStringLiteral("tok"),
                             QStringLiteral("Desk"),
                             QDateTime::currentDateTimeUtc(),
                             QString(64, u'a')};
    blockingWait(store.save({earlier}));
    ClientController::Options withLockedStore = options();
    withLockedStore.store = store;
    ClientController locked(withLockedStore);

    backend->setFailure(KeychainStatus::interactionNotAllowed, QStringLiteral("The collection is locked."));
    const auto result = blockingWait(locked.pair(link(), {AgentProvider::claude}));
    EXPECT_FALSE(result.succeeded());
    EXPECT_EQ(locked.pairingMessage(), QStringLiteral("The collection is locked."));
    EXPECT_TRUE(locked.connectionList().isEmpty());

    backend->setFailure(KeychainStatus::success);
    EXPECT_EQ(blockingWait(store.load()), QList<Connection>{earlier});
}

TEST_F(ClientTest, SessionsInDisplayOrderAndAFailingRelayKeepsItsLastKnownSessions)
{
    blockingWait(client.refresh());
    EXPECT_TRUE(client.showingDemo());
    ASSERT_GT(client.sessions()->rowCount(), 0);
    EXPECT_TRUE(client.sessions()->index(0).data(vesperline::SessionListModel::IsDemoRole).toBool());
    EXPECT_EQ(SnapshotStore::shared().load(), SessionSnapshot::empty()) << "made-up sessions never reach widgets";

    pairBoth();
    blockingWait(client.setAwayMode(true)); // so that the permission hook is held
    relay.startHook(QStringLiteral("claude-permission-hook.sh"),
                    RelayProcess::claudePermissionRequest(QStringLiteral("s-ask")));
    ASSERT_EQ(relay.submitCodexPrompt(QStringLiteral("thread-1")).exitCode, 0);
    refreshUntil([&] { return client.sessions()->rowCount() == 2 && session(QStringLiteral("s-ask"))->permission; },
                 QStringLiteral("both sessions, Claude's with its prompt"));
    EXPECT_FALSE(client.showingDemo());
    const auto* model = client.sessions();
    EXPECT_EQ(model->index(0).data(vesperline::SessionListModel::KeyRole), QStringLiteral("claude:s-ask"));
    EXPECT_EQ(model->index(1).data(vesperline::SessionListModel::KeyRole), QStringLiteral("codex:thread-1"));
    EXPECT_EQ(client.headline(), QStringLiteral("1 needs you \u00b7 1 working"));
    EXPECT_EQ(SnapshotStore::shared().load(), client.snapshot());

    relay.stop();
    blockingWait(client.refresh());
    ASSERT_EQ(client.providerErrors().size(), 2);
    EXPECT_EQ(client.errors().value(AgentProvider::claude), QStringLiteral("Connection refused"));
    EXPECT_EQ(model->rowCount(), 2) << "the last known sessions, not the demo ones";
    EXPECT_TRUE(model->index(0).data(vesperline::SessionListModel::IsStaleRole).toBool());
    EXPECT_EQ(client.headline(), QStringLiteral("1 needs you \u00b7 1 working"));
}

TEST_F(ClientTest, PromptsAnsweredFromTheListAndFromTheirNotifications)
{
    RecordingNotifier notifier;
    client.setNotifier(&notifier);
    pairBoth();
    blockingWait(client.setAwayMode(true));
    EXPECT_TRUE(client.awayMode()); // the relay holding the hooks below shows it took the switch

    QProcess* first = relay.startHook(QStringLiteral("claude-permission-hook.sh"),
                                      RelayProcess::claudePermissionRequest(QStringLiteral("s-one")));
    refreshUntil([&] { return session(QStringLiteral("s-one")) && session(QStringLiteral("s-one"))->permission; },
                 QStringLiteral("the first prompt"));
    const QString firstPrompt = session(QStringLiteral("s-one"))->permission->id;
    EXPECT_EQ(client.promptOutcome(QStringLiteral("claude:s-one"), firstPrompt), QString()) << "still pending";
    blockingWait(client.decide(AgentProvider::claude, firstPrompt, PermissionDecision::allow));
    EXPECT_EQ(behaviourOf(RelayProcess::finishHook(first)), QStringLiteral("allow"));
    EXPECT_EQ(client.promptOutcome(QStringLiteral("claude:s-one"), firstPrompt),
              QStringLiteral("Allowed from this phone."))
        << "the list refreshed at once";
    blockingWait(client.decide(AgentProvider::claude, firstPrompt, PermissionDecision::deny));
    EXPECT_EQ(client.notice(), RelayError::promptExpired().description());

    QProcess* second = relay.startHook(QStringLiteral("claude-permission-hook.sh"),
                                       RelayProcess::claudePermissionRequest(QStringLiteral("s-two")));
    std::optional<Alert> alert;
    refreshUntil(
        [&] {
            for (const Alert& shown : notifier.shown) {
                if (shown.sessionId == QStringLiteral("s-two") && shown.isPrompt()) {
                    alert = shown;
                }
            }
            return alert.has_value();
        },
        QStringLiteral("the second prompt's alert"));
    QSignalSpy opened(&client, &ClientController::showSessionRequested);
    emit notifier.activated(alert->id);
    EXPECT_EQ(opened.takeFirst().value(0), QStringLiteral("claude:s-two"));

    emit notifier.actionInvoked(alert->id, QStringLiteral("deny"));
    RelayProcess::waitUntil([&] { return second->state() == QProcess::NotRunning; },
                            QStringLiteral("the held hook to get its answer"));
    EXPECT_EQ(behaviourOf(RelayProcess::finishHook(second)), QStringLiteral("deny"));
    refreshUntil([&] { return notifier.withdrawn.contains(alert->id); },
                 QStringLiteral("the answered prompt's notification to go"));
}

TEST_F(ClientTest, UnpairingTellsTheRelayAndOnlyThenForgets)
{
    pairBoth();
    blockingWait(client.unpair(AgentProvider::claude));
    ASSERT_EQ(stored().size(), 1);
    EXPECT_EQ(stored().first().provider, AgentProvider::codex);
    EXPECT_EQ(client.connectionList(), stored());
    const QJsonArray tokens = relay.status()[u"tokens"].toArray();
    ASSERT_EQ(tokens.size(), 1) << "the relay revoked Claude's token";

    relay.stop();
    blockingWait(client.unpair(AgentProvider::codex));
    EXPECT_EQ(client.notice(), QStringLiteral("Connection refused"));
    EXPECT_EQ(stored().size(), 1) << "a token the relay still honours is not forgotten";

    relay.start();
    relay.admin("POST", QStringLiteral("v1/admin/tokens/revoke"),
                QJsonObject{{QStringLiteral("id"), tokens.first()[u"id"]}});
    blockingWait(client.unpair(AgentProvider::codex));
    EXPECT_EQ(client.notice(), QString());
    EXPECT_TRUE(stored().isEmpty()) << "a token the relay no longer knows is forgotten";
    EXPECT_TRUE(client.showingDemo());
}
