#include "alerts/alert_planner.h"

#include <gtest/gtest.h>

using namespace idlewyn;
using namespace vesperline;

namespace {

AgentSession session(const char* id, SessionStatus status, const char* prompt = nullptr)
{
    AgentSession s;
    s.id = QString::fromLatin1(id);
    s.title = s.id;
    s.workingDirectory = QStringLiteral("/home/ada/api");
    s.status = status;
    s.startedAt = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    s.updatedAt = s.startedAt;
    if (prompt) {
        s.permission = PermissionPrompt{QString::fromLatin1(prompt), QStringLiteral("Bash"),
                                        QStringLiteral("touch marker.txt"), s.startedAt, std::nullopt};
    }
    return s;
}

constexpr auto W = SessionStatus::waitingForInput;
constexpr auto R = SessionStatus::working;
constexpr auto F = SessionStatus::finished;

enum class Claude { live, failing, demo, unpaired };

struct Step {
    QList<AgentSession> sessions;
    Claude claude;
    QStringList shown;
    QStringList withdrawn = {};
};

struct Case {
    const char* name;
    QList<Step> steps;
};

const QString p1 = QStringLiteral("prompt/claude/p1");
const QString p2 = QStringLiteral("prompt/claude/p2");

} // namespace

TEST(AlertPlannerTest, AlertsEachPromptOnceAndNothingFromABaseline)
{
    const QList<Case> cases{
        {"the first snapshot alerts nothing, waiting or not",
         {{{session("A", W, "p1"), session("B", F)}, Claude::live, {}},
          {{session("A", W, "p1"), session("B", F)}, Claude::live, {}}}},
        {"a new session already waiting alerts once, a new prompt on it again",
         {{{}, Claude::live, {}},
          {{session("A", W, "p1")}, Claude::live, {p1}},
          {{session("A", W, "p1")}, Claude::live, {}},
          {{session("A", W, "p2")}, Claude::live, {p2}, {p1}}}},
        {"a transition and the new-session rule on one prompt alert once",
         {{{}, Claude::live, {}},
          {{session("A", R)}, Claude::live, {}},
          {{session("A", W, "p1")}, Claude::live, {p1}}}},
        {"a prompt that comes back after work is not alerted again",
         {{{}, Claude::live, {}},
          {{session("A", W, "p1")}, Claude::live, {p1}},
          {{session("A", R)}, Claude::live, {}, {p1}},
          {{session("A", W, "p1")}, Claude::live, {}}}},
        {"a session from the baseline alerts by transition only",
         {{{session("A", R), session("B", W, "p1")}, Claude::live, {}},
          {{session("A", F), session("B", W, "p1")}, Claude::live, {QStringLiteral("session/claude/A")}}}},
        {"demo sessions never alert",
         {{{}, Claude::demo, {}}, {{session("A", R)}, Claude::demo, {}}, {{session("A", W, "p1")}, Claude::demo, {}}}},
        {"a relay that answers late has its own baseline; fallback sessions stay quiet",
         {{{}, Claude::failing, {}},
          {{session("A", W, "p1")}, Claude::failing, {}},
          {{session("A", W, "p1")}, Claude::live, {}},
          {{session("A", W, "p1"), session("B", W, "p2")}, Claude::live, {p2}}}},
        {"a prompt that arrived while the relay was failing alerts when it answers",
         {{{session("A", R)}, Claude::live, {}},
          {{session("A", R)}, Claude::failing, {}},
          {{session("A", R), session("B", W, "p1")}, Claude::live, {p1}}}},
        {"unpairing withdraws the provider's prompts, pairing again starts a new baseline",
         {{{}, Claude::live, {}},
          {{session("A", W, "p1")}, Claude::live, {p1}},
          {{}, Claude::unpaired, {}, {p1}},
          {{session("A", W, "p1"), session("B", W, "p2")}, Claude::live, {}}}},
    };

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        AlertPlanner planner;
        int index = 0;
        for (const Step& step : c.steps) {
            SCOPED_TRACE(index++);
            QList<Connection> connections{Connection::demo(AgentProvider::codex)};
            if (step.claude != Claude::unpaired) {
                Connection claude = Connection::demo(AgentProvider::claude);
                if (step.claude != Claude::demo) {
                    claude.serverURL = QUrl(QStringLiteral("https://127.0.0.1:8443"));
                }
                connections.append(claude);
            }
            const QList<AgentProvider> failed =
                step.claude == Claude::failing ? QList<AgentProvider>{AgentProvider::claude} : QList<AgentProvider>{};
            const auto plan = planner.plan(SessionSnapshot{step.sessions, {}}, connections, failed);
            QStringList shown;
            for (const Alert& alert : plan.show) {
                shown.append(alert.id);
            }
            EXPECT_EQ(shown, step.shown);
            EXPECT_EQ(plan.withdraw, step.withdrawn);
        }
    }
}

TEST(AlertPlannerTest, APromptAlertNamesTheProjectAndTheToolAndCarriesWhatAnswersIt)
{
    const Alert alert = AlertPlanner::alertFor(session("A", W, "p1"));
    EXPECT_EQ(alert.title, QStringLiteral("Claude Code · api"));
    EXPECT_EQ(alert.body, QStringLiteral("Allow Bash: touch marker.txt?"));
    EXPECT_EQ(alert.promptId, QStringLiteral("p1"));
    EXPECT_EQ(alert.sessionId, QStringLiteral("A"));

    AgentSession done = session("A", F);
    done.summary = QStringLiteral("The project is tidy now.");
    EXPECT_EQ(AlertPlanner::alertFor(done).body, QStringLiteral("The project is tidy now."));
    EXPECT_FALSE(AlertPlanner::alertFor(done).isPrompt());
}
