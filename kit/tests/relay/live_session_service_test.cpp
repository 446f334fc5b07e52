// The live session service: demo connections without network, and the
// combined snapshot with its fallback for providers that did not answer.
#include "relay/live_session_service.h"

#include "model/demo_sessions.h"
#include "outcome.h"
#include "support/scripted_server.h"

#include <gtest/gtest.h>

using namespace idlewyn;
using idlewyn::testing::outcomeOf;
using idlewyn::testing::ScriptedServer;

namespace {

AgentSession session(const QString& id, AgentProvider provider)
{
    AgentSession s;
    s.id = id;
    s.provider = provider;
    s.title = id;
    s.status = SessionStatus::working;
    s.startedAt = QDateTime::fromMSecsSinceEpoch(1'770'000'000'000, Qt::UTC);
    s.updatedAt = s.startedAt;
    return s;
}

QStringList ids(const QList<AgentSession>& sessions)
{
    QStringList result;
    for (const AgentSession& s : sessions) {
        result.append(s.id);
    }
    return result;
}

QStringList demoIds(AgentProvider provider)
{
    return ids(DemoSessions::sessions(provider, QDateTime::currentDateTimeUtc()));
}

Connection connectionTo(const QUrl& url, AgentProvider provider)
{
    return Connection{provider,    url, QStringLiteral("tok"), QStringLiteral("dev"), QDateTime::currentDateTimeUtc(),
                      std::nullopt};
}

// The caller's last known state: sessions of both providers.
const SessionSnapshot fallback{{session(QStringLiteral("old-claude-1"), AgentProvider::claude),
                                session(QStringLiteral("old-codex-1"), AgentProvider::codex),
                                session(QStringLiteral("old-claude-2"), AgentProvider::claude)},
                               QDateTime::fromMSecsSinceEpoch(1'770'000'000'000, Qt::UTC)};

} // namespace

TEST(LiveSessionServiceTest, AFailingProviderShowsItsFallbackOnceBesideFreshDemoSessions)
{
    // A relay that no longer accepts this device's token.
    ScriptedServer server;
    server.respond(401, "{}");
    LiveSessionService service;
    const QDateTime before = QDateTime::currentDateTimeUtc();

    const auto none = outcomeOf(service.snapshot({}, fallback));
    ASSERT_TRUE(none.succeeded()) << none.describe();
    EXPECT_TRUE(none.value->snapshot.sessions.isEmpty()) << "no connection, not even fallback sessions";
    EXPECT_TRUE(none.value->errors.isEmpty());
    EXPECT_GE(none.value->snapshot.updatedAt, before);

    // Two failing connections of one provider show its last state once.
    const Connection revoked = connectionTo(server.baseUrl(), AgentProvider::claude);
    const auto result =
        outcomeOf(service.snapshot({revoked, Connection::demo(AgentProvider::codex), revoked}, fallback));
    ASSERT_TRUE(result.succeeded()) << result.describe();
    const auto& [snapshot, errors] = *result.value;
    QStringList claude, codex;
    for (const AgentSession& s : snapshot.sessions) {
        (s.provider == AgentProvider::claude ? claude : codex).append(s.id);
    }
    EXPECT_EQ(claude, (QStringList{QStringLiteral("old-claude-1"), QStringLiteral("old-claude-2")}));
    EXPECT_EQ(codex, demoIds(AgentProvider::codex)) << "the demo provider is fresh, not its fallback";
    EXPECT_EQ(errors.keys(), QList<AgentProvider>{AgentProvider::claude});
    idlewyn::testing::Outcome<void> claudeFailure;
    claudeFailure.error = errors.value(AgentProvider::claude);
    EXPECT_EQ(claudeFailure.errorAs<RelayError>(), RelayError::unauthorized()) << claudeFailure.describe();
    EXPECT_GE(snapshot.updatedAt, before) << "taken now even when a provider's sessions came from the fallback";
}

TEST(LiveSessionServiceTest, MergesInCompletionOrderNotInputOrder)
{
    ScriptedServer server;
    server.respond(200,
                   R"({"sessions":[{"id":"live-1","provider":"claude","title":"t","status":"working",)"
                   R"("startedAt":"2026-03-01T09:00:00Z","updatedAt":"2026-03-01T09:00:00Z"}]})");
    LiveSessionService service;
    // The demo answer is ready at once; the relay's needs a round trip.
    const auto result = outcomeOf(service.snapshot(
        {connectionTo(server.baseUrl(), AgentProvider::claude), Connection::demo(AgentProvider::codex)},
        SessionSnapshot::empty()));
    ASSERT_TRUE(result.succeeded()) << result.describe();
    EXPECT_EQ(ids(result.value->snapshot.sessions),
              demoIds(AgentProvider::codex) + QStringList{QStringLiteral("live-1")});
    EXPECT_TRUE(result.value->errors.isEmpty());
}

TEST(LiveSessionServiceTest, ADemoConnectionEchoesTheAwaySwitchWithoutARelay)
{
    LiveSessionService service;
    const Connection demo = Connection::demo(AgentProvider::claude);
    EXPECT_EQ(outcomeOf(service.setRemoteApprovals(true, demo)).value, true);
    EXPECT_EQ(outcomeOf(service.setRemoteApprovals(false, demo)).value, false);
}
