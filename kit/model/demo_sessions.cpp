#include "model/demo_sessions.h"

#include <QHash>
#include <algorithm>
#include <cmath>

namespace idlewyn::DemoSessions {

const QList<Template>& templates(AgentProvider provider)
{
    static const QHash<AgentProvider, QList<Template>> table{
        {AgentProvider::claude,
         {
             {QStringLiteral("Refactor auth middleware"),
              QStringLiteral("~/Developer/api"),
              150,
              {QStringLiteral("Read: Sources/Auth/Middleware.swift"),
               QStringLiteral("Edit: Sources/Auth/Middleware.swift"), QStringLiteral("Bash: swift test")}},
             {QStringLiteral("Write widget snapshot tests"),
              QStringLiteral("~/Developer/Vesperline"),
              210,
              {QStringLiteral("Grep: SnapshotStore"), QStringLiteral("Write: Tests/WidgetSnapshotTests.swift"),
               QStringLiteral("Bash: ctest --preset dev")}},
             {QStringLiteral("Fix flaky CI job"),
              QStringLiteral("~/Developer/infra"),
              270,
              {QStringLiteral("Bash: gh run view --log-failed"), QStringLiteral("Read: .github/workflows/ci.yml")}},
         }},
        {AgentProvider::codex,
         {
             {QStringLiteral("Migrate to Swift 6"),
              QStringLiteral("~/Developer/ios-app"),
              180,
              {QStringLiteral("shell: rg -l Sendable"), QStringLiteral("apply_patch: Sources/Store.swift")}},
             {QStringLiteral("Profile image pipeline"),
              QStringLiteral("~/Developer/media"),
              240,
              {QStringLiteral("shell: instruments -t 'Time Profiler'"),
               QStringLiteral("shell: swift build -c release")}},
         }},
    };
    static const QList<Template> none;
    const auto it = table.constFind(provider);
    return it == table.constEnd() ? none : *it;
}

QList<AgentSession> sessions(AgentProvider provider, const QDateTime& date)
{
    const double t = static_cast<double>(date.toMSecsSinceEpoch()) / 1000.0;
    const auto offset = [&date](double seconds) {
        return date.addMSecs(-static_cast<qint64>(std::llround(seconds * 1000.0)));
    };

    QList<AgentSession> result;
    const QList<Template>& list = templates(provider);
    for (qsizetype i = 0; i < list.size(); ++i) {
        const Template& tpl = list.at(i);
        const double x = std::fmod(t + 47.0 * static_cast<double>(i), tpl.period);
        const double f = x / tpl.period;
        const SessionStatus status = f < 0.6 ? SessionStatus::working
            : f < 0.7                        ? SessionStatus::waitingForInput
                                             : SessionStatus::finished;
        const QString index = QString::number(i);

        AgentSession s;
        s.id = QStringLiteral("demo-") + rawValue(provider) + u'-' + index;
        s.provider = provider;
        s.title = tpl.title;
        s.workingDirectory = tpl.directory;
        s.status = status;
        s.startedAt = offset(x);
        s.turnStartedAt = s.startedAt;
        s.updatedAt = offset(std::fmod(x, 20.0));
        if (status == SessionStatus::waitingForInput) {
            s.summary = QStringLiteral("Allow Bash: swift package resolve?");
        }
        if (status == SessionStatus::working && !tpl.tools.isEmpty()) {
            const auto k = static_cast<qsizetype>(std::trunc(x / 12.0));
            s.activity = tpl.tools.at(k % tpl.tools.size());
        }
        if (provider == AgentProvider::claude) {
            if (status == SessionStatus::waitingForInput) {
                const auto cycle = static_cast<qint64>(std::trunc(t / tpl.period));
                s.permission = PermissionPrompt{QStringLiteral("demo-claude-") + index + u'-' + QString::number(cycle),
                                                QStringLiteral("Bash"), QStringLiteral("swift package resolve"),
                                                s.startedAt, QStringLiteral("Bash(swift package resolve)")};
            }
            s.taskTotal = 4;
            s.taskDone = std::min(static_cast<int>(std::trunc(5.0 * f)), 4);
        }
        result.append(std::move(s));
    }
    return result;
}

} // namespace idlewyn::DemoSessions
