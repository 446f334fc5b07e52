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

TEST(SessionTransitionTest, WhichChangesQualify)
{
    using S = SessionStatus;
    const QString p1 = QStringLiteral("p1");
    struct Row {
        const char* what;
        QList<AgentSession> before;
        QList<AgentSession> after;
        qsizetype qualifying;
    };
    const Row rows[] = {
        {"new sessions never", {}, {session(A, S::waitingForInput), session(B, S::finished)}, 0},
        {"working to finished", {session(A, S::working)}, {session(A, S::finished)}, 1},
        {"idle to failed", {session(A, S::idle)}, {session(A, S::failed)}, 1},
        {"one attention state to another", {session(A, S::failed)}, {session(A, S::finished)}, 0},
        {"back to work", {session(A, S::finished)}, {session(A, S::working)}, 0},
        {"a session gone", {session(A, S::working)}, {}, 0},
        {"a new prompt id",
         {session(A, S::waitingForInput, p1)},
         {session(A, S::waitingForInput, QStringLiteral("p2"))},
         1},
        {"the same prompt", {session(A, S::waitingForInput, p1)}, {session(A, S::waitingForInput, p1)}, 0},
        {"a first prompt", {session(A, S::waitingForInput)}, {session(A, S::waitingForInput, p1)}, 1},
        {"working, whatever its prompt", {session(A, S::working)}, {session(A, S::working, p1)}, 0},
        {"the later duplicate before wins",
         {session(A, S::working), session(A, S::finished)},
         {session(A, S::failed)},
         0},
        {"each current duplicate on its own",
         {session(A, S::working)},
         {session(A, S::finished), session(A, S::failed)},
         2},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(detect(row.before, row.after).size(), row.qualifying) << row.what;
    }
}

TEST(SessionTransitionTest, TransitionsCarryTheNewSessionAndItsOldStatusInTheCurrentOrder)
{
    const auto ordered = detect({session(A, SessionStatus::working), session(B, SessionStatus::idle)},
                                {session(B, SessionStatus::finished), session(A, SessionStatus::failed)});
    ASSERT_EQ(ordered.size(), 2);
    EXPECT_EQ(ordered[0].session, session(B, SessionStatus::finished));
    EXPECT_EQ(ordered[0].from, SessionStatus::idle);
    EXPECT_EQ(ordered[1].session.id, A);
    EXPECT_EQ(ordered[1].from, SessionStatus::working);
}
