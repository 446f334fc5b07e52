#include "model/agent_session.h"

#include <gtest/gtest.h>

#include <QTimeZone>

using namespace idlewyn;

namespace {
AgentSession makeSession(SessionStatus status = SessionStatus::working)
{
    AgentSession s;
    s.id = QStringLiteral("s");
    s.title = QStringLiteral("The title");
    s.status = status;
    s.startedAt = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    s.updatedAt = s.startedAt;
    return s;
}
} // namespace

TEST(AgentSessionTest, ProjectNameIsTheLastDirectoryComponentOrTheTitle)
{
    AgentSession s = makeSession();
    EXPECT_EQ(s.projectName(), QStringLiteral("The title"));
    for (const char* directory : {"", "/Users/dev/proj", "/Users/dev/proj/", "/Users/dev/proj//", "proj"}) {
        s.workingDirectory = QString::fromLatin1(directory);
        EXPECT_EQ(s.projectName(), *directory ? QStringLiteral("proj") : QStringLiteral("The title")) << directory;
    }
}

TEST(AgentSessionTest, RunningSinceIsTheTurnStartOfAWorkingSessionOnly)
{
    AgentSession s = makeSession();
    EXPECT_FALSE(s.runningSince().has_value()) << "startedAt is never a fallback";
    s.turnStartedAt = s.startedAt.addSecs(30);
    EXPECT_EQ(s.runningSince(), s.turnStartedAt);
    s.status = SessionStatus::waitingForInput;
    EXPECT_FALSE(s.runningSince().has_value());
}

TEST(AgentSessionTest, TaskProgressNeedsATotalOfAtLeastOneAndIsNotClamped)
{
    AgentSession s = makeSession();
    s.taskDone = 3;
    EXPECT_FALSE(s.taskProgress().has_value());
    s.taskTotal = 0;
    EXPECT_FALSE(s.taskProgress().has_value());
    s.taskTotal = 5;
    s.taskDone.reset();
    EXPECT_EQ(s.taskProgress(), (TaskProgress{0, 5}));
    s.taskDone = 7;
    EXPECT_EQ(s.taskProgress(), (TaskProgress{7, 5}));
}

TEST(AgentSessionTest, SummaryAndActivityHideWhenEmptyOrNotWorking)
{
    AgentSession s = makeSession();
    s.summary = QString();
    EXPECT_FALSE(s.displaySummary().has_value());
    s.summary = QStringLiteral("Done");
    EXPECT_EQ(s.displaySummary(), QStringLiteral("Done"));

    s.activity = QString();
    EXPECT_FALSE(s.currentActivity().has_value());
    s.activity = QStringLiteral("Bash: npm test");
    EXPECT_EQ(s.currentActivity(), QStringLiteral("Bash: npm test"));
    s.status = SessionStatus::waitingForInput;
    EXPECT_FALSE(s.currentActivity().has_value());
}
