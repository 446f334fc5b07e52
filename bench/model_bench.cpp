// Decoding a status-sized session list: the typed decode plus display order,
// against a bare QJsonDocument parse of the same bytes. The menu decodes the
// whole list on every poll, so the typed layer must stay close to the parser.
#include "model/agent_session.h"
#include "model/session_snapshot.h"

#include <QJsonDocument>
#include <QTimeZone>
#include <benchmark/benchmark.h>

using namespace idlewyn;

namespace {

QByteArray makeSessionsJson(int count)
{
    QList<AgentSession> sessions;
    const QDateTime base = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);
    const SessionStatus statuses[] = {SessionStatus::working, SessionStatus::waitingForInput, SessionStatus::finished,
                                      SessionStatus::failed, SessionStatus::idle};
    for (int i = 0; i < count; ++i) {
        AgentSession s;
        s.id = QStringLiteral("session-%1").arg(i);
        s.provider = i % 3 == 0 ? AgentProvider::codex : AgentProvider::claude;
        s.title = QStringLiteral("Refactor module %1 and write its tests").arg(i);
        s.workingDirectory = QStringLiteral("/home/dev/projects/service-%1").arg(i % 40);
        s.status = statuses[i % 5];
        s.startedAt = base.addSecs(i);
        s.updatedAt = base.addMSecs(i * 7919LL % 3600000);
        s.turnStartedAt = base.addSecs(i + 5);
        s.activity = QStringLiteral("Bash: npm test -- --filter module-%1").arg(i);
        if (s.status == SessionStatus::waitingForInput) {
            s.summary = QStringLiteral("Allow Bash: rm -rf build?");
            s.permission = PermissionPrompt{QStringLiteral("prompt-%1").arg(i), QStringLiteral("Bash"),
                                            QStringLiteral("rm -rf build"), base.addSecs(i + 30),
                                            QStringLiteral("Bash(rm -rf build)")};
        }
        s.taskDone = i % 4;
        s.taskTotal = 5;
        sessions.append(s);
    }
    QJsonObject document;
    document.insert(QStringLiteral("sessions"), json::relay.encodeValue(sessions));
    return QJsonDocument(document).toJson(QJsonDocument::Compact);
}

const QByteArray& sessionsJson()
{
    static const QByteArray bytes = makeSessionsJson(1000);
    return bytes;
}

struct SessionsResponse {
    QList<AgentSession> sessions;
};

} // namespace

template <>
struct idlewyn::json::Codable<SessionsResponse> {
    static SessionsResponse decode(const Decoder& d)
    {
        return {d.decode<QList<AgentSession>>(QStringLiteral("sessions"))};
    }
    static QJsonValue encode(const SessionsResponse&, const Encoder&) { return {}; }
};

static void BM_BareParse(benchmark::State& state)
{
    const QByteArray& bytes = sessionsJson();
    for (auto _ : state) {
        QJsonDocument document = QJsonDocument::fromJson(bytes);
        benchmark::DoNotOptimize(document);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes.size());
}
BENCHMARK(BM_BareParse)->Unit(benchmark::kMicrosecond);

static void BM_TypedDecodeAndOrder(benchmark::State& state)
{
    const QByteArray& bytes = sessionsJson();
    for (auto _ : state) {
        auto response = json::relay.decode<SessionsResponse>(bytes);
        QList<AgentSession> ordered = sortedForDisplay(std::move(response.sessions));
        benchmark::DoNotOptimize(ordered);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes.size());
}
BENCHMARK(BM_TypedDecodeAndOrder)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
