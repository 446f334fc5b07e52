#include "supervisor/admin_client.h"
#include "supervisor/detached_service_manager.h"
#include "supervisor/installer_error.h"
#include "supervisor/relay_installer.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include "supervisor_test_support.h"

#include <csignal>

using namespace vesperline;
using namespace vesperline::fixtures;

namespace {

// These tests run the real relay.py as the application does on a machine
// without a user service manager: detached, in a session of its own.
class DetachedServiceManagerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        home = freshHome();
        DetachedServiceManager::Options timing;
        timing.stopPoll = std::chrono::milliseconds(20);
        manager = std::make_shared<DetachedServiceManager>(RelayPaths::forHome(home), timing);
        RelayInstaller::Options options;
        options.home = home;
        options.serviceManager = manager;
        installer = std::make_unique<RelayInstaller>(options);
        writeRelayConfig(installer->supportDirectory(), /*tls=*/false);
    }

    void TearDown() override
    {
        // Never leave a relay behind, whatever failed.
        if (const std::optional<qint64> pid = manager->runningPid()) {
            ::kill(static_cast<pid_t>(*pid), SIGKILL);
        }
    }

    bool relayAnswers() const
    {
        return waitUntil([&] { return outcomeOf(AdminClient(installer->supportDirectory()).fetchStatus()).succeeded(); });
    }

    QString home;
    std::shared_ptr<DetachedServiceManager> manager;
    std::unique_ptr<RelayInstaller> installer;
};

} // namespace

TEST_F(DetachedServiceManagerTest, StartsTheRealRelayInItsOwnSessionThenRestartsAndStopsIt)
{
    writeFile(installer->logFile(), "an earlier run\n");
    EXPECT_FALSE(installer->usesThisAppsRelay());

    const auto started = outcomeOf(installer->start());
    ASSERT_TRUE(started.succeeded()) << started.errorText().toStdString();
    const std::optional<qint64> pid = manager->runningPid();
    ASSERT_TRUE(pid);
    EXPECT_NE(sessionIdOf(*pid), sessionIdOf(QCoreApplication::applicationPid()))
        << "the relay runs in a session of its own";
    EXPECT_NE(sessionIdOf(*pid), -1);
    ASSERT_TRUE(relayAnswers());
    EXPECT_EQ(installer->installedRelayPath(), installer->relayScript());
    EXPECT_TRUE(installer->usesThisAppsRelay());
    const QByteArray log = readFile(installer->logFile());
    EXPECT_TRUE(log.startsWith("an earlier run\n")) << "output is appended";
    EXPECT_TRUE(log.contains("listening on http://127.0.0.1:"));

    const auto restarted = outcomeOf(installer->restart());
    ASSERT_TRUE(restarted.succeeded()) << restarted.errorText().toStdString();
    const std::optional<qint64> newPid = manager->runningPid();
    ASSERT_TRUE(newPid);
    EXPECT_NE(*newPid, *pid);
    EXPECT_FALSE(processExists(*pid));
    ASSERT_TRUE(relayAnswers());

    const auto stopped = outcomeOf(installer->stop());
    ASSERT_TRUE(stopped.succeeded()) << stopped.errorText().toStdString();
    EXPECT_FALSE(processExists(*newPid));
    EXPECT_FALSE(QFileInfo::exists(manager->pidFile()));
    EXPECT_EQ(installer->installedRelayPath(), std::nullopt);
    EXPECT_EQ(outcomeOf(installer->stop()).errorText(), QStringLiteral("No relay started by this app is running."));
}

TEST_F(DetachedServiceManagerTest, ARelayThatDiedIsStartedAgainByRestart)
{
    ASSERT_TRUE(outcomeOf(installer->start()).succeeded());
    const std::optional<qint64> pid = manager->runningPid();
    ASSERT_TRUE(pid);
    ::kill(static_cast<pid_t>(*pid), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !processExists(*pid); }));
    EXPECT_TRUE(manager->hasDefinition());
    EXPECT_EQ(manager->runningPid(), std::nullopt);

    const auto restarted = outcomeOf(installer->restart());
    ASSERT_TRUE(restarted.succeeded()) << restarted.errorText().toStdString();
    ASSERT_TRUE(manager->runningPid());
    EXPECT_TRUE(relayAnswers());
}

TEST_F(DetachedServiceManagerTest, APidFileNamingAnotherProgramNeverGetsItSignalled)
{
    QProcess bystander;
    bystander.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(bystander.waitForStarted());
    writeFile(manager->pidFile(), QByteArray::number(bystander.processId()) + '\n');

    EXPECT_EQ(manager->runningPid(), std::nullopt);
    EXPECT_EQ(installer->installedRelayPath(), std::nullopt);
    EXPECT_EQ(outcomeOf(installer->stop()).errorText(), QStringLiteral("No relay started by this app is running."));
    EXPECT_EQ(bystander.state(), QProcess::Running);

    ASSERT_TRUE(outcomeOf(installer->restart()).succeeded());
    EXPECT_EQ(bystander.state(), QProcess::Running);
    EXPECT_TRUE(relayAnswers());

    bystander.kill();
    bystander.waitForFinished();
}
