// Two launches of the client, each with its own LaunchHandover as main.cpp
// makes it. The second one blocks while it hands over, as the separate
// process would; the running one answers from its event loop meanwhile.
#include "app/launch_handover.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <future>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

using vesperline::LaunchHandover;

namespace {

// What a client that crashed leaves behind: the socket file, nobody listening.
void leaveStaleSocket(const QString& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray bytes = QFile::encodeName(path);
    std::copy(bytes.cbegin(), bytes.cend(), address.sun_path);
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

} // namespace

TEST(LaunchHandoverTest, ASecondLaunchHandsItsLinkToTheRunningClientEvenAfterACrash)
{
    const QString name = QStringLiteral("vesperline-handover-test-%1").arg(QCoreApplication::applicationPid());
    leaveStaleSocket(QDir::temp().filePath(name));

    LaunchHandover running(name);
    ASSERT_FALSE(running.handOver(QString())) << "nobody answers the crashed client's socket: this one runs";
    QSignalSpy received(&running, &LaunchHandover::received);

    const QString link = QStringLiteral("idlewyn://pair?url=https%3A%2F%2F127.0.0.1%3A8787&code=123456");
    auto second = std::async(std::launch::async, [&] { return LaunchHandover(name).handOver(link); });
    ASSERT_TRUE(received.wait(5000));
    EXPECT_EQ(received.takeFirst().value(0).toString(), link);
    EXPECT_TRUE(second.get()) << "the second launch ends";
}
