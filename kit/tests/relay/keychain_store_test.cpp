#include "relay/connection_store.h"
#include "relay/keychain_store.h"
#include "relay/qt_keychain_backend.h"

#include "support/in_memory_secret_backend.h"
#include "support/outcome.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocalServer>
#include <QProcess>
#include <QTemporaryDir>

using namespace idlewyn;
using idlewyn::testing::blockingWait;
using idlewyn::testing::InMemorySecretBackend;
using Operation = InMemorySecretBackend::Operation;
using Call = InMemorySecretBackend::Call;

namespace {

const QString service = QStringLiteral("io.zembrix.idlewyn.tests");
const QString group = QStringLiteral("group.tests");
const QString account = QStringLiteral("acct");

Call callOf(Operation operation, std::optional<QString> accessGroup)
{
    return Call{operation, SecretQuery{service, account, std::move(accessGroup)}};
}

// The KeychainError a call ended with, if any.
template <class T>
std::optional<KeychainError> failureOf(QCoro::Task<T> task)
{
    try {
        blockingWait(std::move(task));
    } catch (const KeychainError& error) {
        return error;
    }
    return std::nullopt;
}

Connection paired(AgentProvider provider)
{
    return Connection{provider,
                      QUrl(QStringLiteral("http://127.0.0.1:8787")),
                      QStringLiteral("token"),
                      QStringLiteral("phone"),
                      QDateTime(QDate(2026, 3, 1), QTime(9, 15, 27, 123), Qt::UTC),
                      std::nullopt};
}

class InMemoryKeychainTest : public ::testing::Test {
protected:
    std::shared_ptr<InMemorySecretBackend> backend = std::make_shared<InMemorySecretBackend>();
    KeychainStore grouped{service, group, backend};
};

} // namespace

TEST_F(InMemoryKeychainTest, MissingEntitlementRetriesEachCallOnceWithoutTheGroup)
{
    backend->setRefusesAccessGroups(true);
    EXPECT_FALSE(failureOf(grouped.set("one", account)));
    EXPECT_EQ(blockingWait(grouped.data(account)), QByteArray("one"));
    EXPECT_FALSE(failureOf(grouped.removeValue(account)));
    EXPECT_FALSE(backend->item(service, account));
    EXPECT_EQ(backend->calls(),
              (QList<Call>{callOf(Operation::write, group), callOf(Operation::write, std::nullopt),
                           callOf(Operation::read, group), callOf(Operation::read, std::nullopt),
                           callOf(Operation::remove, group), callOf(Operation::remove, std::nullopt)}));
    // This backend answers item-not-found to the removal, as Apple's keychain does.
    EXPECT_FALSE(failureOf(grouped.removeValue(account))) << "nothing left to remove is no failure";
}

TEST_F(InMemoryKeychainTest, TheRetrysAnswerCountsAndNothingElseRetries)
{
    backend->setRefusesAccessGroups(true);
    backend->setFailure(KeychainStatus::interactionNotAllowed, QStringLiteral("Collection is locked"));
    auto failure = failureOf(grouped.set("one", account));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->status(), KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(failure->description(), QStringLiteral("Collection is locked"));
    EXPECT_EQ(backend->calls().size(), 2);

    // A second missing-entitlement answer is final: one retry, not a loop.
    backend->clearCalls();
    backend->setRefusesAccessGroups(false);
    backend->setFailure(KeychainStatus::missingEntitlement);
    EXPECT_EQ(failureOf(grouped.data(account)), KeychainError(KeychainStatus::missingEntitlement));
    EXPECT_EQ(backend->calls(), (QList<Call>{callOf(Operation::read, group), callOf(Operation::read, std::nullopt)}));

    backend->clearCalls();
    backend->setFailure(-61);
    EXPECT_EQ(failureOf(grouped.removeValue(account)), KeychainError(-61));
    EXPECT_EQ(backend->calls(), QList<Call>{callOf(Operation::remove, group)});

    backend->clearCalls();
    backend->setFailure(KeychainStatus::missingEntitlement);
    EXPECT_EQ(failureOf(KeychainStore(service, std::nullopt, backend).set("one", account)),
              KeychainError(KeychainStatus::missingEntitlement));
    EXPECT_EQ(backend->calls(), QList<Call>{callOf(Operation::write, std::nullopt)}) << "no group, no second try";
}

TEST(KeychainErrorTest, DescribedInThePlatformsWordsElseByStatus)
{
    EXPECT_EQ(KeychainError(-12345).description(), QStringLiteral("Keychain error -12345"));
    EXPECT_EQ(KeychainError(-2070, QStringLiteral("No such collection")).description(),
              QStringLiteral("No such collection"));
    EXPECT_EQ(KeychainError(-1, QStringLiteral("a")), KeychainError(-1, QStringLiteral("b")));
    EXPECT_FALSE(KeychainError(-1) == KeychainError(-2));
}

TEST_F(InMemoryKeychainTest, ConnectionsLoadNeverFailsAndSaveReportsEveryFailure)
{
    const ConnectionStore store{grouped};
    const QList<Connection> list{paired(AgentProvider::codex), Connection::demo(AgentProvider::claude)};
    blockingWait(store.save(list));

    Connection undated = paired(AgentProvider::claude);
    undated.connectedAt = QDateTime();
    EXPECT_THROW(blockingWait(store.save({undated})), EncodingError);
    EXPECT_EQ(blockingWait(store.load()), list) << "a list that does not encode stores nothing";
    EXPECT_EQ(blockingWait(store.loadForChange()), list);

    backend->setFailure(KeychainStatus::interactionNotAllowed);
    EXPECT_EQ(blockingWait(store.load()), QList<Connection>{});
    EXPECT_EQ(failureOf(store.loadForChange()), KeychainError(KeychainStatus::interactionNotAllowed))
        << "a caller about to save must not mistake a locked keychain for an empty one";
    EXPECT_EQ(failureOf(store.save(list)), KeychainError(KeychainStatus::interactionNotAllowed));
    EXPECT_EQ(failureOf(store.save({})), KeychainError(KeychainStatus::interactionNotAllowed));
}

// Without any Secret Service the platform backend must fail at once (what the
// connection list makes of a failure is the in-memory tests' part). The bus
// address points at nothing, so the user's own keyring is never reached.
TEST(NoSecretServiceTest, PlatformBackendFailsAtOnce)
{
    QTemporaryDir dir;
    const QByteArray busVariable("DBUS_SESSION_BUS_ADDRESS");
    const std::optional<QByteArray> previous =
        qEnvironmentVariableIsSet(busVariable) ? std::optional(qgetenv(busVariable)) : std::nullopt;
    qputenv(busVariable, "unix:path=" + dir.filePath(QStringLiteral("no-bus")).toUtf8());

    const KeychainStore keychain(service);
    const auto failure = failureOf(keychain.data(account));
    ASSERT_TRUE(failure);
    EXPECT_NE(failure->status(), KeychainStatus::itemNotFound);
    EXPECT_FALSE(failure->description().isEmpty());
    EXPECT_FALSE(failure->description().startsWith(QStringLiteral("Keychain error")))
        << "qtkeychain's own words describe it: " << failure->what();
    EXPECT_TRUE(failureOf(keychain.set("one", account))) << "a save that did not happen is not reported as done";

    previous ? qputenv(busVariable, *previous) : qunsetenv(busVariable);
}

// A service that takes the connection and never answers is given the
// backend's timeout. GLib keeps its half-open bus for the rest of the process
// and qtkeychain queues every later call behind the stuck one, so this runs
// in a child copy of the binary, which runs this same test in its child role.
TEST(NoSecretServiceTest, ServiceThatNeverAnswersFailsInsteadOfHanging)
{
    const char* childRole = "IDLEWYN_TEST_UNANSWERED_BUS";
    if (!qEnvironmentVariableIsSet(childRole)) {
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(childRole), QStringLiteral("1"));
        child.setProcessEnvironment(environment);
        child.start(
            QCoreApplication::applicationFilePath(),
            {QStringLiteral("--gtest_filter=NoSecretServiceTest.ServiceThatNeverAnswersFailsInsteadOfHanging")});
        ASSERT_TRUE(child.waitForFinished(60000));
        const QByteArray output = child.readAll();
        EXPECT_EQ(child.exitCode(), 0) << output.toStdString();
        EXPECT_TRUE(output.contains("[  PASSED  ] 1 test.")) << output.toStdString();
        return;
    }

    QTemporaryDir dir;
    QLocalServer silent;
    ASSERT_TRUE(silent.listen(dir.filePath(QStringLiteral("bus"))));
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + silent.fullServerName().toUtf8());

    const KeychainStore keychain(service, std::nullopt,
                                 std::make_shared<QtKeychainBackend>(std::chrono::milliseconds(300)));
    const auto failure = failureOf(keychain.data(account));
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->status(), KeychainStatus::notAvailable);
    EXPECT_EQ(failure->description(), QStringLiteral("The secret service did not answer."));
}
