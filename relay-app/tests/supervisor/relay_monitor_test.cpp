#include "supervisor/launchd_service_manager.h"
#include "supervisor/relay_monitor.h"

#include "support/scripted_server.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTimer>

#include <qcoro/qcorotimer.h>

#include "supervisor_test_support.h"

using namespace vesperline;
using namespace vesperline::fixtures;
using namespace std::chrono_literals;
using idlewyn::SessionStatus;
using idlewyn::testing::ScriptedServer;

namespace {

// The monitor's clock: records every pause. Pauses of a second or more (the
// polling loop's) are held until release() or until the monitor goes;
// shorter ones (an action's settling pause) pass at once.
class Pauses : public QObject {
    Q_OBJECT

public:
    QList<std::chrono::milliseconds> requested;
    int held = 0;

    QCoro::Task<> wait(std::chrono::milliseconds duration, QObject* owner)
    {
        requested.append(duration);
        if (duration < 1s) {
            co_return;
        }
        ++held;
        QTimer gate;
        connect(this, &Pauses::released, &gate, [&gate] { gate.start(0); });
        connect(owner, &QObject::destroyed, &gate, [&gate] { gate.start(0); });
        gate.setSingleShot(true);
        gate.start(1h);
        co_await gate;
        --held;
    }

    void release() { emit released(); }

signals:
    void released();
};

idlewyn::AgentSession session(SessionStatus status, int minute)
{
    idlewyn::AgentSession s;
    s.id = s.title = idlewyn::rawValue(status);
    s.status = status;
    s.startedAt = QDateTime::fromMSecsSinceEpoch(1767225600000, Qt::UTC);
    s.updatedAt = s.startedAt.addSecs(60 * minute);
    return s;
}

class RelayMonitorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = freshHome();
        server.respond(200, statusDocument());
        pointAt(server.baseUrl().toString());
    }

    void TearDown() override
    {
        if (monitor) { // the loop, parked in a pause, must end with its monitor
            EXPECT_TRUE(waitUntil([&] { return pauses.held == 1; }));
            monitor.reset();
            EXPECT_TRUE(waitUntil([&] { return pauses.held == 0; }));
        }
    }

    void pointAt(const QString& url) { writeFile(home + QStringLiteral("/.idlewyn-relay/relay-url"), url.toUtf8()); }

    RelayInstaller installer() const
    {
        RelayInstaller::Options options;
        options.home = home;
        options.serviceManager = std::make_shared<LaunchdServiceManager>(
            RelayPaths::forHome(home), LaunchdServiceManager::Options{launchctl.path(), 501, {}});
        return RelayInstaller(options);
    }

    // Creates the monitor and waits for its first poll to park the loop.
    RelayMonitor& polledMonitor()
    {
        RelayMonitor::Options options;
        options.installer = installer();
        options.admin = AdminClient(home + QStringLiteral("/.idlewyn-relay"));
        options.sleep = [this](std::chrono::milliseconds duration, QObject* owner) {
            return pauses.wait(duration, owner);
        };
        monitor = std::make_unique<RelayMonitor>(options);
        EXPECT_TRUE(waitUntil([&] { return pauses.held == 1; }));
        return *monitor;
    }

    QString home;
    FakeTool launchctl{QStringLiteral("launchctl")};
    ScriptedServer server;
    Pauses pauses;
    std::unique_ptr<RelayMonitor> monitor;
};

} // namespace

TEST_F(RelayMonitorTest, WithNoRelayTheFirstPollShowsItDownWithTheTransportError)
{
    pointAt(closedPortUrl());
    const QString refused = outcomeOf(AdminClient(home + QStringLiteral("/.idlewyn-relay")).fetchStatus()).errorText();
    RelayMonitor& m = polledMonitor();
    EXPECT_EQ(m.status(), std::nullopt);
    EXPECT_EQ(m.iconState(), IconState::down);
    EXPECT_FALSE(refused.isEmpty());
    EXPECT_EQ(m.lastError(), refused);
    EXPECT_EQ(pauses.requested, QList<std::chrono::milliseconds>{10s});
}

TEST_F(RelayMonitorTest, TheIconFollowsTheMostUrgentSession)
{
    RelayMonitor& m = polledMonitor();
    EXPECT_EQ(m.iconState(), IconState::idle) << "a relay without sessions";
    const QList<std::pair<QList<idlewyn::AgentSession>, IconState>> cases{
        {{session(SessionStatus::finished, 1), session(SessionStatus::failed, 2)}, IconState::idle},
        {{session(SessionStatus::finished, 1), session(SessionStatus::working, 2)}, IconState::working},
        {{session(SessionStatus::working, 5), session(SessionStatus::waitingForInput, 2),
          session(SessionStatus::failed, 3)},
         IconState::needsInput},
    };
    for (const auto& [sessions, icon] : cases) {
        server.respond(200, statusDocument(sessions));
        outcomeOf(m.refresh());
        EXPECT_EQ(m.iconState(), icon);
    }
}

TEST_F(RelayMonitorTest, OpeningTheMenuRefreshesAtOnceEveryTimeAndQuickensThePauses)
{
    RelayMonitor& m = polledMonitor();
    QSignalSpy menuChanges(&m, &RelayMonitor::isMenuOpenChanged);
    m.setMenuOpen(true);
    EXPECT_TRUE(waitUntil([&] { return server.requests().size() == 2; }));
    m.setMenuOpen(true);
    EXPECT_TRUE(waitUntil([&] { return server.requests().size() == 3; }));
    EXPECT_EQ(menuChanges.count(), 1);
    EXPECT_EQ(pauses.requested, QList<std::chrono::milliseconds>{10s}) << "the pause in progress runs on";

    pauses.release();
    EXPECT_TRUE(waitUntil([&] { return pauses.requested.size() == 2 && pauses.held == 1; }));
    m.setMenuOpen(false);
    pauses.release();
    EXPECT_TRUE(waitUntil([&] { return pauses.requested.size() == 3 && pauses.held == 1; }));
    EXPECT_EQ(pauses.requested, (QList<std::chrono::milliseconds>{10s, 2s, 10s}));
    EXPECT_EQ(server.requests().size(), 5) << "closing the menu asks for nothing";
}

TEST_F(RelayMonitorTest, EachPollReplacesTheStatusOrTheErrorAndOnlyChangedTextsNotify)
{
    server.respond(500, "{}");
    RelayMonitor& m = polledMonitor();
    QSignalSpy statusChanges(&m, &RelayMonitor::statusChanged);
    QSignalSpy errorChanges(&m, &RelayMonitor::lastErrorChanged);
    EXPECT_EQ(m.lastError(), QStringLiteral("The relay returned HTTP 500."));
    outcomeOf(m.refresh());
    EXPECT_EQ(statusChanges.count(), 1);
    EXPECT_EQ(errorChanges.count(), 0) << "the same failure again redraws nothing";

    server.respond(200, statusDocument());
    outcomeOf(m.refresh());
    EXPECT_EQ(m.status(), sampleStatus());
    EXPECT_EQ(m.lastError(), std::nullopt);
    outcomeOf(m.refresh());
    EXPECT_EQ(statusChanges.count(), 3);
    EXPECT_EQ(errorChanges.count(), 1);

    server.respond(401, "{}");
    outcomeOf(m.refresh());
    EXPECT_EQ(m.status(), std::nullopt);
    EXPECT_EQ(m.lastError(), QStringLiteral("The relay rejected the hook secret. Restart it from this menu."));

    QSignalSpy actionChanges(&m, &RelayMonitor::actionErrorChanged);
    QSignalSpy menuChanges(&m, &RelayMonitor::isMenuOpenChanged);
    m.setActionError(QStringLiteral("Login item failed."));
    m.setActionError(QStringLiteral("Login item failed."));
    m.setMenuOpen(false);
    EXPECT_EQ(actionChanges.count(), 1);
    EXPECT_EQ(menuChanges.count(), 0);
}

TEST_F(RelayMonitorTest, AFailedActionKeepsItsTextThroughItsRefreshAndTheNextActionClearsIt)
{
    launchctl.failAlways(QStringLiteral("bootout"));
    RelayMonitor& m = polledMonitor();
    ASSERT_TRUE(outcomeOf(m.stop()).value) << "actions never fail towards their caller";
    EXPECT_EQ(m.actionError(), QStringLiteral("launchctl bootout failed: bootout refused (call 1)"));
    EXPECT_EQ(pauses.requested.last(), 600ms);
    EXPECT_EQ(server.requests().size(), 2) << "the action ends with a refresh";

    QList<std::optional<QString>> seen;
    QObject::connect(&m, &RelayMonitor::actionErrorChanged, [&] { seen.append(m.actionError()); });
    ASSERT_TRUE(outcomeOf(m.restart()).value);
    EXPECT_EQ(seen, QList<std::optional<QString>>{std::nullopt});
    EXPECT_EQ(launchctl.calls().last(),
              QStringLiteral("bootstrap gui/501 %1/Library/LaunchAgents/io.zembrix.idlewyn.relay.plist").arg(home));
}

TEST_F(RelayMonitorTest, CreationRefreshesTheFilesAndEachPollAndActionRereadsTheInstallationNotifyingOnlyChanges)
{
    // Outdated files of ours, and a service definition that runs another copy.
    installer().installFiles();
    writeFile(installer().relayScript(), "# an old relay\n");
    const LaunchdServiceManager elsewhere(RelayPaths::forHome(QStringLiteral("/home/other")));
    writeFile(home + QStringLiteral("/Library/LaunchAgents/io.zembrix.idlewyn.relay.plist"),
              elsewhere.definitionText());
    RelayMonitor& m = polledMonitor();
    EXPECT_EQ(m.installation(),
              (InstallationState{false, false, QStringLiteral("/home/other/.idlewyn-relay/bin/relay.py")}));
    EXPECT_TRUE(launchctl.calls().isEmpty()) << "the files were brought up to date without touching the service";
    QSignalSpy changes(&m, &RelayMonitor::installationChanged);
    outcomeOf(m.refresh());
    EXPECT_EQ(changes.count(), 0) << "an unchanged installation notifies nobody";

    ASSERT_TRUE(outcomeOf(m.start()).value);
    EXPECT_EQ(m.installation(), (InstallationState{true, false, installer().relayScript()}))
        << "the action's own refresh reads what it wrote";
    writeFile(installer().relayScript(), "# an old relay\n");
    outcomeOf(m.refresh());
    EXPECT_EQ(m.installation(), (InstallationState{true, true, installer().relayScript()}));
    EXPECT_EQ(changes.count(), 2);
}

TEST_F(RelayMonitorTest, AnActionOutlivingItsMonitorFinishesAlone)
{
    QCoro::Task<> action = polledMonitor().stop();
    monitor.reset();
    EXPECT_TRUE(outcomeOf(std::move(action)).value);
    EXPECT_TRUE(waitUntil([&] { return pauses.held == 0; }));
    EXPECT_EQ(launchctl.calls(), QStringList(QStringLiteral("bootout gui/501/io.zembrix.idlewyn.relay")));
}

TEST(RelayMonitorLifetime, TheRealPauseEndsWithTheMonitor)
{
    writeFile(freshHome() + QStringLiteral("/.idlewyn-relay/relay-url"), closedPortUrl().toUtf8());
    int pausesEnded = 0;
    RelayMonitor::Options options;
    options.menuClosedPause = 1h;
    options.sleep = [&pausesEnded](std::chrono::milliseconds duration, QObject* owner) -> QCoro::Task<> {
        co_await sleepUnlessDestroyed(duration, owner);
        ++pausesEnded;
    };
    auto monitor = std::make_unique<RelayMonitor>(options);
    ASSERT_TRUE(waitUntil([&] { return monitor->lastError().has_value(); }));
    monitor.reset();
    EXPECT_TRUE(waitUntil([&] { return pausesEnded == 1; })) << "an hour's pause ends with its monitor";
}

#include "relay_monitor_test.moc"
