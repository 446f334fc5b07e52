#include "supervisor/detached_service_manager.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include "supervisor_test_support.h"

#include <csignal>

using namespace vesperline;
using namespace vesperline::fixtures;

// The real relay, run the way the application runs it on a machine without
// a user service manager (this one, and CI).

TEST(DetachedServiceManager, StartsTheRealRelayInASessionOfItsOwnRestartsItAndStopsIt)
{
    const QString home = freshHome();
    writeFile(home + QStringLiteral("/.idlewyn-relay/relay.log"), "an earlier run\n");
    RunningRelay relay(home);
    const RelayInstaller& installer = relay.installer;
    const std::optional<qint64> pid = relay.manager->runningPid();
    ASSERT_TRUE(pid);
    ASSERT_TRUE(relay.answers());
    EXPECT_NE(sessionIdOf(*pid), sessionIdOf(QCoreApplication::applicationPid()));
    EXPECT_TRUE(installer.usesThisAppsRelay());
    const QByteArray log = readFile(installer.logFile());
    EXPECT_TRUE(log.startsWith("an earlier run\n")) << "appended, not replaced";
    EXPECT_TRUE(log.contains("listening on http://127.0.0.1:"));

    ASSERT_TRUE(outcomeOf(installer.restart()).value);
    const std::optional<qint64> restarted = relay.manager->runningPid();
    ASSERT_TRUE(restarted);
    EXPECT_NE(*restarted, *pid);
    EXPECT_FALSE(processExists(*pid));
    EXPECT_TRUE(relay.answers());

    ASSERT_TRUE(outcomeOf(installer.stop()).value);
    EXPECT_FALSE(processExists(*restarted));
    EXPECT_EQ(installer.installedRelayPath(), std::nullopt);
    EXPECT_EQ(outcomeOf(installer.stop()).errorText(), QStringLiteral("No relay started by this app is running."));

    ASSERT_TRUE(outcomeOf(installer.restart()).value) << "without a pid file a restart is a full start";
    EXPECT_TRUE(relay.answers());
}

// A relay that died leaves its pid file behind, and the number may come to
// name another program.
TEST(DetachedServiceManager, ADeadRelaysPidFileNeverGetsAnotherProgramSignalled)
{
    RunningRelay relay(freshHome());
    const qint64 pid = relay.manager->runningPid().value();
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    ASSERT_TRUE(waitUntil([&] { return !processExists(pid); }));
    EXPECT_EQ(relay.manager->runningPid(), std::nullopt);
    QProcess bystander;
    bystander.start(QStringLiteral("/bin/sleep"), {QStringLiteral("30")});
    ASSERT_TRUE(bystander.waitForStarted());
    writeFile(relay.manager->pidFile(), QByteArray::number(bystander.processId()));

    EXPECT_EQ(relay.installer.installedRelayPath(), std::nullopt);
    EXPECT_EQ(outcomeOf(relay.installer.stop()).errorText(),
              QStringLiteral("No relay started by this app is running."));
    writeFile(relay.manager->pidFile(), QByteArray::number(bystander.processId()));
    ASSERT_TRUE(outcomeOf(relay.installer.restart()).value);
    EXPECT_TRUE(relay.answers());
    EXPECT_EQ(bystander.state(), QProcess::Running);
    bystander.kill();
    bystander.waitForFinished();
}
