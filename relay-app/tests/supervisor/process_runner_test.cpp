#include "supervisor/process_runner.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

#include <qcoro/qcorotask.h>

#include "supervisor_test_support.h"

using namespace vesperline;

namespace {

ProcessResult run(const QString& program, const QStringList& arguments)
{
    auto outcome = fixtures::outcomeOf(runProcess(program, arguments));
    return outcome.value.value_or(ProcessResult{-100, outcome.errorText()});
}

QString launchFailure(const QString& program)
{
    const auto error = fixtures::outcomeOf(runProcess(program, {})).errorAs<ProcessLaunchError>();
    return error ? error->description() : QString();
}

} // namespace

TEST(ProcessRunner, MergesBothChannelsInWritingOrderAndReturnsTheExitStatus)
{
    const ProcessResult result =
        run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("echo one; echo two >&2; echo three; exit 7")});
    EXPECT_EQ(result.output, QStringLiteral("one\ntwo\nthree\n"));
    EXPECT_EQ(result.exitStatus, 7);
    EXPECT_FALSE(result.succeeded());
}

TEST(ProcessRunner, ReadsLargeOutputToTheEnd)
{
    // More than any pipe buffer: a runner that waited for the exit before
    // reading would deadlock, one that stopped early would lose the tail.
    const ProcessResult result = run(QStringLiteral("/bin/sh"),
                                     {QStringLiteral("-c"), QStringLiteral("head -c 1000000 /dev/zero | tr '\\0' x; echo end")});
    EXPECT_EQ(result.output.size(), 1000004);
    EXPECT_TRUE(result.output.endsWith(QStringLiteral("xend\n")));
    EXPECT_TRUE(result.succeeded());
}

TEST(ProcessRunner, ReplacesInvalidUtf8)
{
    const ProcessResult result =
        run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("printf 'caf\\303\\251 \\377!'")});
    EXPECT_EQ(result.output, QStringLiteral("caf\u00E9 \uFFFD!"));
}

TEST(ProcessRunner, ASignalIsAFailure)
{
    const ProcessResult result = run(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("kill -9 $$")});
    EXPECT_EQ(result.exitStatus, -1);
    EXPECT_FALSE(result.succeeded());
}

TEST(ProcessRunner, AProgramThatCannotStartFailsWithQtsReason)
{
    QTemporaryDir directory;
    EXPECT_FALSE(launchFailure(directory.filePath(QStringLiteral("missing"))).isEmpty());

    const QString notExecutable = directory.filePath(QStringLiteral("plain.txt"));
    fixtures::writeFile(notExecutable, "echo hello\n");
    EXPECT_FALSE(launchFailure(notExecutable).isEmpty());
}
