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

TEST(DemoSessionsTest, TheFirstSessionCyclesThroughWorkAPromptAndTheFinish)
{
    struct Row {
        AgentProvider provider;
        double seconds;
        SessionStatus status;
        std::optional<int> taskDone;
        bool prompt;
    };
    const Row rows[] = {
        {AgentProvider::claude, 0, SessionStatus::working, 0, false},
        {AgentProvider::claude, 100, SessionStatus::waitingForInput, 3, true},
        {AgentProvider::claude, 140, SessionStatus::finished, 4, false},
        // Codex prompts are only reported, and Codex keeps no task list.
        {AgentProvider::codex, 120, SessionStatus::waitingForInput, std::nullopt, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.seconds);
        const AgentSession s = DemoSessions::sessions(row.provider, at(row.seconds)).first();
        EXPECT_EQ(s.status, row.status);
        EXPECT_EQ(s.taskDone, row.taskDone);
        EXPECT_EQ(s.permission.has_value(), row.prompt);
        EXPECT_EQ(s.summary.has_value(), row.status == SessionStatus::waitingForInput);
        EXPECT_EQ(s.activity.has_value(), row.status == SessionStatus::working);
        EXPECT_LE(s.updatedAt, at(row.seconds)) << "never updated in the future";
    }
    // Each cycle asks anew: a phone must see a new prompt, not the last one again.
    EXPECT_NE(DemoSessions::sessions(AgentProvider::claude, at(100)).first().permission->id,
              DemoSessions::sessions(AgentProvider::claude, at(250)).first().permission->id);
}
