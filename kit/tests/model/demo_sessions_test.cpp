#include "model/demo_sessions.h"

#include <gtest/gtest.h>

#include <QTimeZone>

using namespace idlewyn;

namespace {
QDateTime at(double seconds)
{
    return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(seconds * 1000), Qt::UTC);
}
} // namespace

TEST(DemoSessionsTest, ClaudeAtTheEpoch)
{
    const QDateTime date = at(0);
    const auto sessions = DemoSessions::sessions(AgentProvider::claude, date);
    ASSERT_EQ(sessions.size(), 3);

    EXPECT_EQ(sessions[0].id, QStringLiteral("demo-claude-0"));
    EXPECT_EQ(sessions[0].status, SessionStatus::working);
    EXPECT_EQ(sessions[0].activity, QStringLiteral("Read: Sources/Auth/Middleware.swift"));
    EXPECT_EQ(sessions[0].taskDone, 0);
    EXPECT_EQ(sessions[0].taskTotal, 4);
    EXPECT_EQ(sessions[0].startedAt, date);
    EXPECT_EQ(sessions[0].updatedAt, date);
    EXPECT_EQ(sessions[0].turnStartedAt, date);

    EXPECT_EQ(sessions[1].status, SessionStatus::working);
    EXPECT_EQ(sessions[1].activity, QStringLiteral("Grep: SnapshotStore"));
    EXPECT_EQ(sessions[1].taskDone, 1);
    EXPECT_EQ(sessions[1].startedAt, at(-47));
    EXPECT_EQ(sessions[1].updatedAt, at(-7)) << "updated fmod(47, 20) = 7 seconds ago";

    EXPECT_EQ(sessions[2].activity, QStringLiteral("Read: .github/workflows/ci.yml"));
    EXPECT_EQ(sessions[2].taskDone, 1);
    EXPECT_FALSE(sessions[2].permission.has_value());
}

TEST(DemoSessionsTest, ClaudeWaitsWithAPromptPerCycle)
{
    const auto sessions = DemoSessions::sessions(AgentProvider::claude, at(100));
    const AgentSession& s = sessions[0];
    EXPECT_EQ(s.status, SessionStatus::waitingForInput);
    EXPECT_EQ(s.summary, QStringLiteral("Allow Bash: swift package resolve?"));
    ASSERT_TRUE(s.permission.has_value());
    EXPECT_EQ(s.permission->id, QStringLiteral("demo-claude-0-0"));
    EXPECT_EQ(s.permission->toolName, QStringLiteral("Bash"));
    EXPECT_EQ(s.permission->detail, QStringLiteral("swift package resolve"));
    EXPECT_EQ(s.permission->alwaysRule, QStringLiteral("Bash(swift package resolve)"));
    EXPECT_EQ(s.permission->createdAt, at(0));
    EXPECT_FALSE(s.activity.has_value());
    EXPECT_EQ(s.taskDone, 3);

    const auto nextCycle = DemoSessions::sessions(AgentProvider::claude, at(250));
    EXPECT_EQ(nextCycle[0].status, s.status);
    EXPECT_EQ(nextCycle[0].taskDone, s.taskDone);
    EXPECT_EQ(nextCycle[0].permission->id, QStringLiteral("demo-claude-0-1"));
}

TEST(DemoSessionsTest, CodexWaitsWithoutAPromptOrTasks)
{
    const auto sessions = DemoSessions::sessions(AgentProvider::codex, at(120));
    ASSERT_EQ(sessions.size(), 2);
    EXPECT_EQ(sessions[0].status, SessionStatus::waitingForInput);
    EXPECT_EQ(sessions[0].summary, QStringLiteral("Allow Bash: swift package resolve?"));
    EXPECT_FALSE(sessions[0].permission.has_value());
    EXPECT_FALSE(sessions[0].taskTotal.has_value());
    EXPECT_FALSE(sessions[0].taskDone.has_value());
}

TEST(DemoSessionsTest, FinishedLateInTheCycle)
{
    const auto sessions = DemoSessions::sessions(AgentProvider::claude, at(140));
    EXPECT_EQ(sessions[0].status, SessionStatus::finished);
    EXPECT_EQ(sessions[0].taskDone, 4);
    EXPECT_FALSE(sessions[0].summary.has_value());
    EXPECT_FALSE(sessions[0].activity.has_value());
}
