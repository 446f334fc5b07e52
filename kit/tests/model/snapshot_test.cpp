#include "model/session_snapshot.h"
#include "model/snapshot_lead.h"
#include "model/snapshot_store.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QSettings>
#include <QTimeZone>

using namespace idlewyn;

namespace {

AgentSession session(const QString& id, SessionStatus status, int hour, AgentProvider provider = AgentProvider::claude)
{
    AgentSession s;
    s.id = id;
    s.provider = provider;
    s.title = id;
    s.status = status;
    s.startedAt = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
    s.updatedAt = QDateTime(QDate(2026, 3, 1), QTime(hour, 0), Qt::UTC);
    return s;
}

QStringList ids(const QList<AgentSession>& sessions)
{
    QStringList result;
    for (const auto& s : sessions) {
        result.append(s.id);
    }
    return result;
}

} // namespace

TEST(SessionSnapshotTest, DisplayOrderIsRankThenNewestAndStable)
{
    const SessionSnapshot snapshot{{session(QStringLiteral("idle"), SessionStatus::idle, 12),
                                    session(QStringLiteral("work-old"), SessionStatus::working, 10),
                                    session(QStringLiteral("wait"), SessionStatus::waitingForInput, 10),
                                    session(QStringLiteral("work-new"), SessionStatus::working, 11),
                                    session(QStringLiteral("done-a"), SessionStatus::finished, 9),
                                    session(QStringLiteral("failed"), SessionStatus::failed, 8),
                                    session(QStringLiteral("done-b"), SessionStatus::finished, 9)},
                                   {}};
    EXPECT_EQ(ids(snapshot.sorted()),
              (QStringList{QStringLiteral("wait"), QStringLiteral("work-new"), QStringLiteral("work-old"),
                           QStringLiteral("failed"), QStringLiteral("done-a"), QStringLiteral("done-b"),
                           QStringLiteral("idle")}));
    EXPECT_EQ(ids(snapshot.sessions).first(), QStringLiteral("idle")) << "sorted() leaves the snapshot alone";
}

TEST(SessionSnapshotTest, CountsAndAllFinished)
{
    EXPECT_FALSE(SessionSnapshot::empty().allFinished());
    EXPECT_TRUE((SessionSnapshot{{session(QStringLiteral("a"), SessionStatus::idle, 9)}, {}}.allFinished()));

    const SessionSnapshot snapshot{{session(QStringLiteral("a"), SessionStatus::working, 9),
                                    session(QStringLiteral("b"), SessionStatus::failed, 9, AgentProvider::codex),
                                    session(QStringLiteral("c"), SessionStatus::waitingForInput, 9),
                                    session(QStringLiteral("d"), SessionStatus::idle, 9, AgentProvider::codex)},
                                   {}};
    EXPECT_FALSE(snapshot.allFinished());
    EXPECT_EQ(snapshot.workingCount(), 1);
    EXPECT_EQ(snapshot.attentionCount(), 2);
    EXPECT_EQ(ids(snapshot.sessionsFor(AgentProvider::codex)), (QStringList{QStringLiteral("b"), QStringLiteral("d")}));
    EXPECT_EQ(SnapshotLead(snapshot), SnapshotLead(1, 1, 0, 1, 4)) << "idle counts only in the total";
}

TEST(SnapshotLeadTest, HeadlinesForEachLead)
{
    // (waiting, working, finished, failed, total)
    const std::pair<SnapshotLead, QString> rows[] = {
        {SnapshotLead(1, 2, 0, 1, 4), QStringLiteral("1 needs you \u00B7 2 working \u00B7 1 failed")},
        {SnapshotLead(2, 1, 4, 0, 7), QStringLiteral("2 need you \u00B7 1 working \u00B7 4 finished")},
        {SnapshotLead(0, 0, 3, 0, 3), QStringLiteral("3 finished")},
        {SnapshotLead(0, 0, 2, 1, 3), QStringLiteral("1 failed \u00B7 2 finished")},
        {SnapshotLead(0, 3, 0, 0, 3), QStringLiteral("3 working")},
        {SnapshotLead(0, 0, 0, 0, 3), QStringLiteral("0 finished")},
        {SnapshotLead(0, 0, 0, 0, 0), QStringLiteral("No sessions")},
    };
    for (const auto& [lead, summary] : rows) {
        EXPECT_EQ(lead.summary(), summary);
        EXPECT_EQ(lead.isEmpty, summary == QStringLiteral("No sessions"));
    }
    EXPECT_EQ(SnapshotLead(1, 2, 0, 1, 4).status, SessionStatus::waitingForInput);
}

class SnapshotStoreTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        SnapshotStore(QStringLiteral("suite.a")).clear();
        SnapshotStore(QStringLiteral("suite.b")).clear();
        SnapshotStore::shared().clear();
    }

    static SessionSnapshot sample()
    {
        return SessionSnapshot{{session(QStringLiteral("a"), SessionStatus::working, 9)},
                               QDateTime(QDate(2026, 3, 1), QTime(9, 30, 0, 250), Qt::UTC)};
    }
};

TEST_F(SnapshotStoreTest, InstancesShareASuiteOtherSuitesSeeNothingAndClearEmpties)
{
    EXPECT_EQ(SnapshotStore(QStringLiteral("suite.a")).load(), SessionSnapshot::empty());
    SnapshotStore(QStringLiteral("suite.a")).save(sample());
    SnapshotStore store(QStringLiteral("suite.a"));
    EXPECT_EQ(store.load(), sample());
    EXPECT_EQ(SnapshotStore(QStringLiteral("suite.b")).load(), SessionSnapshot::empty());
    EXPECT_EQ(SnapshotStore::shared().load(), SessionSnapshot::empty());
    store.clear();
    EXPECT_EQ(store.load(), SessionSnapshot::empty());
}

TEST_F(SnapshotStoreTest, BadBytesReadAsEmptyAndStayUntouched)
{
    {
        auto settings = openDefaults(QStringLiteral("suite.a"));
        settings->setValue(SnapshotStore::key(), QByteArray("{\"sessions\": 42}"));
        settings->sync();
    }
    SnapshotStore store(QStringLiteral("suite.a"));
    EXPECT_EQ(store.load(), SessionSnapshot::empty());
    auto settings = openDefaults(QStringLiteral("suite.a"));
    EXPECT_EQ(settings->value(SnapshotStore::key()).toByteArray(), QByteArray("{\"sessions\": 42}"));
}

// Run in a second process by the test below: it reads what the parent saved.
TEST_F(SnapshotStoreTest, ChildProcessReadsParentsSnapshot)
{
    if (qEnvironmentVariableIsEmpty("IDLEWYN_TEST_SNAPSHOT_CHILD")) {
        GTEST_SKIP() << "runs only as the child of SnapshotWrittenByOneProcessIsReadByAnother";
    }
    EXPECT_EQ(SnapshotStore::shared().load(), sample());
}

TEST_F(SnapshotStoreTest, SnapshotWrittenByOneProcessIsReadByAnother)
{
    SnapshotStore::shared().save(sample());
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("IDLEWYN_TEST_HOME"), qEnvironmentVariable("HOME"));
    env.insert(QStringLiteral("IDLEWYN_TEST_SNAPSHOT_CHILD"), QStringLiteral("1"));
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::MergedChannels);
    child.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=SnapshotStoreTest.ChildProcessReadsParentsSnapshot")});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray output = child.readAll();
    EXPECT_EQ(child.exitCode(), 0) << output.constData();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.constData();
}
