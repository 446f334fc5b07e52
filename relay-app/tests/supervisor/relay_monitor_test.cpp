#include "supervisor/launchd_service_manager.h"
#include "supervisor/relay_monitor.h"

#include "model/session_snapshot.h"

#include "support/scripted_server.h"

#include <gtest/gtest.h>

#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTimer>

#include <qcoro/qcorotimer.h>

#include "supervisor_test_support.h"

using namespace vesperline;
using namespace vesperline::fixtures;
using idlewyn::SessionStatus;
using idlewyn::testing::ScriptedServer;
using namespace std::chrono_literals;

namespace {

// The monitor's clock: records every pause asked for. Pauses of a second or
// more (the polling loop's) are held until release() or until the monitor
// goes; shorter ones (an action's settling pause) pass at once.
class Pauses : public QObject {
    Q_OBJECT

public:
    QList<std::chrono::milliseconds> requested;
    int held = 0;

    RelayMonitor::Sleep sleep()
    {
        return [this](std::chrono::milliseconds duration, QObject* owner) { return wait(duration, owner); };
    }

    void release() { emit released(); }

signals:
    void released();

private:
    QCoro::Task<> wait(std::chrono::milliseconds duration, QObject* owner)
    {
        requested.append(duration);
        if (duration < 1s) {
            co_return;
        }
        ++held;
        QTimer gate;
        gate.setSingleShot(true);
        connect(this, &Pauses::released, &gate, [&gate] { gate.start(0); });
        if (owner) {
            connect(owner, &QObject::destroyed, &gate, [&gate] { gate.start(0); });
        }
        gate.start(1h);
        co_await gate;
        --held;
    }
};

idlewyn::AgentSession session(const QString& id, SessionStatus status, int minute)
{
    idlewyn::AgentSession s;
    s.id = id;
    s.title = id;
    s.status = status;
    s.startedAt = QDateTime::fromMSecsSinceEpoch(1767225600000, Qt::UTC);
    s.updatedAt = s.startedAt.addSecs(60 * minute);
    return s;
}

QByteArray statusDocument(const QList<idlewyn::AgentSession>& sessions)
{
    Status status;
    status.version = QStringLiteral("1.0.0");
    status.sessions = sessions;
    status.pairingLink = QStringLiteral("idlewyn://pair?url=http%3A%2F%2F127.0.0.1%3A1&code=C0DE");
    status.pairingCode = QStringLiteral("C0DE");
    status.tokens = {PairedToken{QStringLiteral("t1"), QStringLiteral("codex"), std::nullopt, std::nullopt}};
    return idlewyn::json::relay.encode(status);
}

QString closedPortUrl()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("http://127.0.0.1:%1").arg(port);
}

class RelayMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = freshHome();
        support = home + QStringLiteral("/.idlewyn-relay");
        server.respond(200, statusDocument({}));
        pointAt(server.baseUrl().toString());
    }

    void TearDown() override
    {
        if (monitor) {
            // End with the loop parked in a pause, then check it ends with the monitor.
            EXPECT_TRUE(waitUntil([&] { return pauses.held == 1; }));
            monitor.reset();
            EXPECT_TRUE(waitUntil([&] { return pauses.held == 0; }));
        }
    }

    void pointAt(const QString& url) { writeFile(support + QStringLiteral("/relay-url"), url.toUtf8() + '\n'); }

    RelayInstaller installer() const
    {
        LaunchdServiceManager::Options tool;
        tool.launchctl = launchctl.path();
        tool.userId = 501;
        RelayInstaller::Options options;
        options.home = home;
        options.serviceManager = std::make_shared<LaunchdServiceManager>(RelayPaths::forHome(home), tool);
        return RelayInstaller(options);
    }

    RelayMonitor& createMonitor()
    {
        RelayMonitor::Options options;
        options.installer = installer();
        options.admin = AdminClient(support);
        options.sleep = pauses.sleep();
        monitor = std::make_unique<RelayMonitor>(options);
        return *monitor;
    }

    // Waits for the loop's first poll to finish and park in its pause.
    RelayMonitor& createPolledMonitor()
    {
        RelayMonitor& created = createMonitor();
        EXPECT_TRUE(waitUntil([&] { return pauses.held == 1; }));
        return created;
    }

    QString home;
    QString support;
    FakeTool launchctl{QStringLiteral("launchctl")};
    ScriptedServer server;
    Pauses pauses;
    std::unique_ptr<RelayMonitor> monitor;
};

} // namespace

TEST_F(RelayMonitorTest, WithNoRelayTheFirstPollShowsItDownWithTheTransportError)
{
    pointAt(closedPortUrl());
    const QString refused = outcomeOf(AdminClient(support).fetchStatus()).errorText();
    ASSERT_FALSE(refused.isEmpty());

    RelayMonitor& m = createPolledMonitor();
    EXPECT_EQ(m.status(), std::nullopt);
    EXPECT_EQ(m.iconState(), IconState::down);
    EXPECT_TRUE(m.sessions().isEmpty());
    EXPECT_EQ(m.lastError(), refused);
    EXPECT_EQ(pauses.requested, QList<std::chrono::milliseconds>{10s});
}

TEST_F(RelayMonitorTest, TheIconFollowsTheMostUrgentSession)
{
    RelayMonitor& m = createPolledMonitor();
    EXPECT_EQ(m.iconState(), IconState::idle) << "a running relay without sessions";

    server.respond(200, statusDocument({session(QStringLiteral("done"), SessionStatus::finished, 1),
                                        session(QStringLiteral("broke"), SessionStatus::failed, 2),
                                        session(QStringLiteral("rest"), SessionStatus::idle, 3)}));
    outcomeOf(m.refresh());
    EXPECT_EQ(m.iconState(), IconState::idle);

    server.respond(200, statusDocument({session(QStringLiteral("done"), SessionStatus::finished, 1),
                                        session(QStringLiteral("busy"), SessionStatus::working, 2)}));
    outcomeOf(m.refresh());
    EXPECT_EQ(m.iconState(), IconState::working);

    server.respond(200, statusDocument({session(QStringLiteral("done"), SessionStatus::finished, 1),
                                        session(QStringLiteral("busy"), SessionStatus::working, 5),
                                        session(QStringLiteral("asks"), SessionStatus::waitingForInput, 2),
                                        session(QStringLiteral("broke"), SessionStatus::failed, 3)}));
    outcomeOf(m.refresh());
    EXPECT_EQ(m.iconState(), IconState::needsInput);
    ASSERT_EQ(m.sessions().size(), 4);
    EXPECT_EQ(m.sessions().first().id, QStringLiteral("asks"));
    EXPECT_EQ(m.sessions(), idlewyn::sortedForDisplay(m.status()->sessions));
}

TEST_F(RelayMonitorTest, OpeningTheMenuRefreshesAtOnceEveryTimeAndQuickensThePauses)
{
    RelayMonitor& m = createPolledMonitor();
    ASSERT_EQ(server.requests().size(), 1);
    QSignalSpy menuChanges(&m, &RelayMonitor::isMenuOpenChanged);

    m.setMenuOpen(true);
    EXPECT_TRUE(waitUntil([&] { return server.requests().size() == 2; }));
    m.setMenuOpen(true);
    EXPECT_TRUE(waitUntil([&] { return server.requests().size() == 3; }));
    EXPECT_EQ(menuChanges.count(), 1);
    EXPECT_EQ(pauses.requested, QList<std::chrono::milliseconds>{10s}) << "the pause in progress is not cut short";

    pauses.release();
    EXPECT_TRUE(waitUntil([&] { return pauses.requested.size() == 2 && pauses.held == 1; }));
    EXPECT_EQ(pauses.requested.last(), 2s);

    m.setMenuOpen(false);
    EXPECT_EQ(menuChanges.count(), 2);
    pauses.release();
    EXPECT_TRUE(waitUntil([&] { return pauses.requested.size() == 3 && pauses.held == 1; }));
    EXPECT_EQ(pauses.requested.last(), 10s);
    EXPECT_EQ(server.requests().size(), 5) << "closing the menu asks for nothing";
}

TEST_F(RelayMonitorTest, SuccessClearsTheLastErrorAndFailureClearsTheStatus)
{
    server.respond(500, "{}");
    RelayMonitor& m = createPolledMonitor();
    EXPECT_EQ(m.lastError(), QStringLiteral("The relay returned HTTP 500."));

    server.respond(200, statusDocument({}));
    outcomeOf(m.refresh());
    ASSERT_TRUE(m.status());
    EXPECT_EQ(m.status()->tokens.size(), 1);
    EXPECT_EQ(m.lastError(), std::nullopt);

    server.respond(401, "{}");
    outcomeOf(m.refresh());
    EXPECT_EQ(m.status(), std::nullopt);
    EXPECT_EQ(m.lastError(), QStringLiteral("The relay rejected the hook secret. Restart it from this menu."));

    server.respond(200, "{\"version\":\"1.0.0\"}");
    outcomeOf(m.refresh());
    EXPECT_EQ(m.status(), std::nullopt);
    EXPECT_EQ(m.lastError(), QStringLiteral("No value associated with key \u201Csessions\u201D."));
}

TEST_F(RelayMonitorTest, UnchangedTextsAndFlagsNotifyNobodyButEveryStatusIsReported)
{
    pointAt(closedPortUrl());
    RelayMonitor& m = createPolledMonitor();
    QSignalSpy statusChanges(&m, &RelayMonitor::statusChanged);
    QSignalSpy errorChanges(&m, &RelayMonitor::lastErrorChanged);
    QSignalSpy actionChanges(&m, &RelayMonitor::actionErrorChanged);
    QSignalSpy menuChanges(&m, &RelayMonitor::isMenuOpenChanged);

    outcomeOf(m.refresh());
    outcomeOf(m.refresh());
    EXPECT_EQ(statusChanges.count(), 2);
    EXPECT_EQ(errorChanges.count(), 0) << "the same failure twice redraws nothing";

    m.setActionError(QStringLiteral("Login item failed."));
    m.setActionError(QStringLiteral("Login item failed."));
    EXPECT_EQ(actionChanges.count(), 1);
    m.setActionError(std::nullopt);
    m.setActionError(std::nullopt);
    EXPECT_EQ(actionChanges.count(), 2);

    m.setMenuOpen(false);
    EXPECT_EQ(menuChanges.count(), 0);

    pointAt(server.baseUrl().toString());
    outcomeOf(m.refresh());
    outcomeOf(m.refresh());
    EXPECT_EQ(statusChanges.count(), 4);
    EXPECT_EQ(errorChanges.count(), 1);
}

TEST_F(RelayMonitorTest, AFailedActionKeepsItsTextThroughItsRefreshAndTheNextActionClearsIt)
{
    launchctl.failAlways(QStringLiteral("bootout"));
    RelayMonitor& m = createPolledMonitor();
    const qsizetype pollsBefore = server.requests().size();

    ASSERT_TRUE(outcomeOf(m.stop()).succeeded()) << "actions never fail towards their caller";
    EXPECT_EQ(m.actionError(), QStringLiteral("launchctl bootout failed: bootout refused (call 1)"));
    EXPECT_EQ(pauses.requested.last(), 600ms);
    EXPECT_EQ(server.requests().size(), pollsBefore + 1) << "the action ends with a refresh";
    EXPECT_TRUE(m.status());

    QList<std::optional<QString>> seen;
    QObject::connect(&m, &RelayMonitor::actionErrorChanged, [&] { seen.append(m.actionError()); });
    ASSERT_TRUE(outcomeOf(m.restart()).succeeded());
    EXPECT_EQ(seen, QList<std::optional<QString>>{std::nullopt});
    EXPECT_EQ(m.actionError(), std::nullopt);
    EXPECT_TRUE(launchctl.calls().contains(QStringLiteral("bootstrap gui/501 ") + home
                                           + QStringLiteral("/Library/LaunchAgents/io.zembrix.idlewyn.relay.plist")));
}

TEST_F(RelayMonitorTest, RemoteApprovalsAndRevokeGoThroughTheAdminInterface)
{
    RelayMonitor& m = createPolledMonitor();
    server.setResponder([](const ScriptedServer::Request& request) {
        if (request.path == "/v1/admin/settings") {
            return ScriptedServer::httpResponse(404, "{}");
        }
        if (request.path == "/v1/admin/tokens/revoke") {
            return ScriptedServer::httpResponse(200, "{\"revoked\":1}");
        }
        return ScriptedServer::httpResponse(200, statusDocument({}));
    });

    outcomeOf(m.setRemoteApprovals(true));
    EXPECT_EQ(m.actionError(), QStringLiteral("The running relay is too old for this app. Update it from this menu."));
    outcomeOf(m.revoke(m.status()->tokens.first()));
    EXPECT_EQ(m.actionError(), std::nullopt);

    QList<QByteArray> bodies;
    for (const ScriptedServer::Request& request : server.requests()) {
        if (request.method == "POST") {
            bodies.append(request.body);
        }
    }
    EXPECT_EQ(bodies, (QList<QByteArray>{"{\"remoteApprovals\":true}", "{\"id\":\"t1\"}"}));
}

TEST_F(RelayMonitorTest, CreationBringsAnOutdatedInstallationUpToDateWithoutTouchingTheService)
{
    const RelayInstaller relay = installer();
    relay.installFiles();
    writeFile(relay.relayScript(), "# an old relay\n");
    ASSERT_TRUE(relay.needsUpdate());

    createPolledMonitor();
    EXPECT_FALSE(relay.needsUpdate());
    EXPECT_TRUE(launchctl.calls().isEmpty());
}

TEST_F(RelayMonitorTest, AnActionOutlivingItsMonitorFinishesAlone)
{
    createPolledMonitor();
    QCoro::Task<> action = monitor->stop();
    monitor.reset();
    EXPECT_TRUE(waitUntil([&] { return pauses.held == 0; }));
    EXPECT_TRUE(outcomeOf(std::move(action)).succeeded());
    EXPECT_EQ(launchctl.calls(), QStringList(QStringLiteral("bootout gui/501/io.zembrix.idlewyn.relay")));
}

TEST(RelayMonitorLifetime, TheRealPauseEndsWhenTheMonitorGoes)
{
    freshHome();
    int pausesEnded = 0;
    RelayMonitor::Options options;
    options.admin = AdminClient(QDir::homePath() + QStringLiteral("/.idlewyn-relay"));
    writeFile(options.admin.supportDirectory() + QStringLiteral("/relay-url"), closedPortUrl().toUtf8());
    options.menuClosedPause = 1h;
    options.sleep = [&pausesEnded](std::chrono::milliseconds duration, QObject* owner) -> QCoro::Task<> {
        co_await sleepUnlessDestroyed(duration, owner);
        ++pausesEnded;
    };
    auto monitor = std::make_unique<RelayMonitor>(options);
    ASSERT_TRUE(waitUntil([&] { return monitor->lastError().has_value(); }));
    monitor.reset();
    EXPECT_TRUE(waitUntil([&] { return pausesEnded == 1; })) << "an hour's pause ended with its monitor";
}

#include "relay_monitor_test.moc"
