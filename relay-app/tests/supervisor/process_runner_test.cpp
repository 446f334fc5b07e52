#include "supervisor/process_runner.h"

#include <gtest/gtest.h>

#include "supervisor_test_support.h"

using namespace vesperline;
using vesperline::fixtures::outcomeOf;

namespace {
ProcessResult shell(const QString& script)
{
    return outcomeOf(runProcess(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script})).value.value();
}
} // namespace

TEST(ProcessRunner, MergesBothChannelsInOrderDecodesUtf8AndReturnsTheExitStatus)
{
    const ProcessResult result = shell(QStringLiteral("echo one; echo two >&2; printf 'caf\\303\\251 \\377'; exit 7"));
    EXPECT_EQ(result.output, QStringLiteral("one\ntwo\ncaf\u00E9 \uFFFD"));
    EXPECT_EQ(result.exitStatus, 7);
    EXPECT_EQ(shell(QStringLiteral("kill -9 $$")).exitStatus, -1) << "a signal is a failure";
}

TEST(ProcessRunner, ReadsOutputLargerThanAPipeToTheEnd)
{
    const ProcessResult result = shell(QStringLiteral("head -c 1000000 /dev/zero | tr '\\0' x; echo end"));
    EXPECT_EQ(result.output.size(), 1000004);
    EXPECT_TRUE(result.output.endsWith(QStringLiteral("xend\n")));
}

TEST(ProcessRunner, AProgramThatCannotStartFailsAtOnce)
{
    QTemporaryDir directory;
    const QString notExecutable = directory.filePath(QStringLiteral("script.sh"));
    fixtures::writeFile(notExecutable, "echo hello\n");
    for (const QString& program : {directory.filePath(QStringLiteral("missing")), notExecutable}) {
        const auto launch = outcomeOf(runProcess(program, {})).errorAs<ProcessLaunchError>();
        ASSERT_TRUE(launch) << program.toStdString();
        EXPECT_FALSE(launch->description().isEmpty());
    }
}
