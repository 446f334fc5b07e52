#include "model/session_transition.h"

#include <gtest/gtest.h>

#include <QTimeZone>

using namespace idlewyn;

namespace {

AgentSession session(const QString& id, SessionStatus status, std::optional<QString> promptID = std::nullopt)
{
    AgentSession s;
    s.id = id;
    s.title = id;
    s.status = status;
    s.startedAt = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    s.updatedAt = s.startedAt;
    if (promptID) {
        s.permission = PermissionPrompt{*promptID, QStringLiteral("Bash"), QStringLiteral("ls"), s.startedAt, {}};
    }
    return s;
}

QList<SessionTransition> detect(QList<AgentSession> before, QList<AgentSession> after)
{
    return SessionTransition::detect(SessionSnapshot{std::move(before), {}}, SessionSnapshot{std::move(after), {}});
}

const QString A = QStringLiteral("A");
const QString B = QStringLiteral("B");

} // namespace

TEST(SessionTransitionTest, NewSessionsNeverQualify)
{
    EXPECT_TRUE(
        detect({}, {session(A, SessionStatus::waitingForInput), session(B, SessionStatus::finished)}).isEmpty());
}

TEST(SessionTransitionTest, LeavingWorkOrIdleForAnAttentionStateQualifies)
{
    const auto fromWorking = detect({session(A, SessionStatus::working)}, {session(A, SessionStatus::finished)});
    ASSERT_EQ(fromWorking.size(), 1);
    EXPECT_EQ(fromWorking[0].session, session(A, SessionStatus::finished));
    EXPECT_EQ(fromWorking[0].from, SessionStatus::working);

    EXPECT_EQ(detect({session(A, SessionStatus::idle)}, {session(A, SessionStatus::failed)}).size(), 1);
    EXPECT_TRUE(detect({session(A, SessionStatus::failed)}, {session(A, SessionStatus::finished)}).isEmpty());
    EXPECT_TRUE(detect({session(A, SessionStatus::finished)}, {session(A, SessionStatus::working)}).isEmpty());
    EXPECT_TRUE(detect({session(A, SessionStatus::working)}, {}).isEmpty());
}

TEST(SessionTransitionTest, OnlyANewPromptIdQualifiesAmongAttentionStates)
{
    const auto newPrompt = detect({session(A, SessionStatus::waitingForInput, QStringLiteral("p1"))},
                                  {session(A, SessionStatus::waitingForInput, QStringLiteral("p2"))});
    ASSERT_EQ(newPrompt.size(), 1);
    EXPECT_EQ(newPrompt[0].from, SessionStatus::waitingForInput);

    EXPECT_TRUE(detect({session(A, SessionStatus::waitingForInput, QStringLiteral("p1"))},
                       {session(A, SessionStatus::waitingForInput, QStringLiteral("p1"))})
                    .isEmpty());
    EXPECT_EQ(detect({session(A, SessionStatus::waitingForInput)},
                     {session(A, SessionStatus::waitingForInput, QStringLiteral("p1"))})
                  .size(),
              1);
    EXPECT_TRUE(detect({session(A, SessionStatus::working)}, {session(A, SessionStatus::working, QStringLiteral("p1"))})
                    .isEmpty())
        << "working never qualifies, whatever its prompt";
}

TEST(SessionTransitionTest, LaterDuplicateInPreviousWinsAndOrderFollowsCurrent)
{
    EXPECT_TRUE(detect({session(A, SessionStatus::working), session(A, SessionStatus::finished)},
                       {session(A, SessionStatus::failed)})
                    .isEmpty());

    const auto ordered = detect({session(A, SessionStatus::working), session(B, SessionStatus::working)},
                                {session(B, SessionStatus::finished), session(A, SessionStatus::failed)});
    ASSERT_EQ(ordered.size(), 2);
    EXPECT_EQ(ordered[0].session.id, B);
    EXPECT_EQ(ordered[1].session.id, A);

    const auto duplicates = detect({session(A, SessionStatus::working)},
                                   {session(A, SessionStatus::finished), session(A, SessionStatus::failed)});
    EXPECT_EQ(duplicates.size(), 2) << "each current duplicate is judged on its own";
}
