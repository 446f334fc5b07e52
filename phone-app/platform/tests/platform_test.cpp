#include "platform/camera_scanner.h"
#include "platform/freedesktop_notifier.h"
#include "platform/qr_decoder.h"

#include "menu/qr_image.h"

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QVideoFrame>
#include <QVideoSink>

using namespace vesperline;

namespace {

const QString pairingLink = QStringLiteral("idlewyn://pair?url=https%3A%2F%2F192.168.1.20%3A8443&code=482913"
                                           "&pin=5f1e0c3a9b7d2e4f6a8c0b1d3e5f7a9c2b4d6e8f0a1c3e5b7d9f1a3c5e7b9d0f");

// The pairing window's QR as the tray app draws it: its one-pixel-per-module
// bitmap scaled to 240 px without smoothing, on a white card padded 12 px.
QImage pairingWindowQr()
{
    const QImage bitmap = *makeQrImage(pairingLink.toUtf8());
    QImage card(264, 264, QImage::Format_RGB32);
    card.fill(Qt::white);
    QPainter(&card).drawImage(QRect(12, 12, 240, 240), bitmap);
    return card;
}

QImage turnedInAFrame(const QImage& qr, qreal degrees)
{
    QImage frame(640, 480, QImage::Format_RGB32);
    frame.fill(QColor(90, 96, 104));
    QPainter painter(&frame);
    painter.translate(340, 230);
    painter.rotate(degrees);
    painter.drawImage(QPointF(-qr.width() / 2.0, -qr.height() / 2.0), qr);
    return frame;
}

QVideoFrame videoFrame(const QImage& image)
{
    const QImage bgra = image.convertToFormat(QImage::Format_ARGB32);
    QVideoFrame frame(QVideoFrameFormat(bgra.size(), QVideoFrameFormat::Format_BGRA8888));
    frame.map(QVideoFrame::WriteOnly);
    for (int y = 0; y < bgra.height(); ++y) {
        memcpy(frame.bits(0) + y * frame.bytesPerLine(0), bgra.constScanLine(y), bgra.width() * 4);
    }
    frame.unmap();
    return frame;
}

} // namespace

TEST(QrDecoderTest, ReadsThePairingWindowsCodeAsDrawnAndAsPhotographed)
{
    const struct {
        const char* what;
        QImage image;
    } cases[]{
        {"the bitmap at one pixel per module", *makeQrImage(pairingLink.toUtf8())},
        {"the window's card", pairingWindowQr()},
        {"turned 17 degrees in a larger frame", turnedInAFrame(pairingWindowQr(), 17)},
        {"upside down", turnedInAFrame(pairingWindowQr(), 180)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(QrDecoder::decode(c.image), pairingLink);
    }

    QImage blank(640, 480, QImage::Format_RGB32);
    blank.fill(Qt::white);
    EXPECT_EQ(QrDecoder::decode(blank), std::nullopt);
    EXPECT_EQ(QrDecoder::decode(QImage()), std::nullopt);
}

TEST(CameraScannerTest, WithoutACameraItIsUnavailableYetDecodesFramesOncePerStart)
{
    CameraScanner scanner;
    EXPECT_FALSE(scanner.available());
    scanner.start();
    EXPECT_FALSE(scanner.isActive());

    QSignalSpy decoded(&scanner, &CameraScanner::decoded);
    const QImage picture = turnedInAFrame(pairingWindowQr(), 17);
    scanner.videoSink()->setVideoFrame(videoFrame(picture));
    ASSERT_EQ(decoded.size(), 1);
    EXPECT_EQ(decoded[0][0].toString(), pairingLink);

    scanner.stop();
    scanner.start();
    scanner.videoSink()->setVideoFrame(videoFrame(picture));
    EXPECT_EQ(decoded.size(), 2);
}

namespace {

class NotificationServer {
public:
    NotificationServer()
    {
        m_process.setProcessChannelMode(QProcess::ForwardedChannels);
        m_process.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(NOTIFICATION_SERVER), recordPath()});
        auto* bus = QDBusConnection::sessionBus().interface();
        if (!QTest::qWaitFor([&] { return bus->isServiceRegistered(QStringLiteral("org.freedesktop.Notifications")); },
                             15000)) {
            throw std::runtime_error("the notification server did not come up");
        }
    }
    ~NotificationServer()
    {
        m_process.terminate();
        m_process.waitForFinished(5000);
    }

    QString recordPath() const { return m_dir.filePath(QStringLiteral("calls.jsonl")); }

    // The index-th call recorded, one JSON line each; empty when it never came.
    QJsonObject waitForCall(qsizetype index) const
    {
        QList<QByteArray> lines;
        static_cast<void>(QTest::qWaitFor(
            [&] {
                QFile file(recordPath());
                lines = file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>();
                return lines.size() > index + 1; // the last line is still empty
            },
            10000));
        return QJsonDocument::fromJson(lines.value(index)).object();
    }

    // What a person does on the notification.
    void control(const QString& method, const QVariantList& arguments) const
    {
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
            QStringLiteral("io.vesperline.test.NotificationControl"), method);
        call.setArguments(arguments);
        QDBusConnection::sessionBus().call(call);
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
};

Alert promptAlert()
{
    return Alert{QStringLiteral("prompt/claude/p1"),
                 QStringLiteral("Claude Code · api"),
                 QStringLiteral("Allow Bash: touch marker.txt?"),
                 idlewyn::AgentProvider::claude,
                 QStringLiteral("s1"),
                 QStringLiteral("p1")};
}

} // namespace

TEST(FreedesktopNotifierTest, APromptOffersAllowAndDenyAndTheirPressesComeBack)
{
    NotificationServer server;
    FreedesktopNotifier notifier(QDBusConnection::sessionBus(), QStringLiteral("io.zembrix.vesperline"));
    QSignalSpy actions(&notifier, &Notifier::actionInvoked);

    notifier.show(promptAlert());
    const QJsonObject notify = server.waitForCall(0);
    EXPECT_EQ(notify[u"summary"].toString(), QStringLiteral("Claude Code · api"));
    EXPECT_EQ(notify[u"body"].toString(), QStringLiteral("Allow Bash: touch marker.txt?"));
    EXPECT_EQ(notify[u"actions"].toVariant().toStringList(),
              QStringList({"default", "Open", "allow", "Allow", "deny", "Deny"}));
    EXPECT_EQ(notify[u"hints"][u"desktop-entry"].toString(), QStringLiteral("io.zembrix.vesperline"));

    server.control(QStringLiteral("InvokeAction"), {notify[u"id"].toVariant().toUInt(), QStringLiteral("allow")});
    ASSERT_TRUE(actions.wait(10000));
    EXPECT_EQ(actions[0], QVariantList({QStringLiteral("prompt/claude/p1"), QStringLiteral("allow")}));
}

TEST(FreedesktopNotifierTest, AStatusAlertOpensItsSessionReplacesItselfAndIsWithdrawn)
{
    NotificationServer server;
    FreedesktopNotifier notifier(QDBusConnection::sessionBus(), QStringLiteral("io.zembrix.vesperline"));
    QSignalSpy activated(&notifier, &Notifier::activated);
    QSignalSpy actions(&notifier, &Notifier::actionInvoked);

    Alert done{QStringLiteral("session/claude/s1"),
               QStringLiteral("Claude Code · api"),
               QStringLiteral("Finished"),
               idlewyn::AgentProvider::claude,
               QStringLiteral("s1"),
               std::nullopt};
    notifier.show(done);
    const QJsonObject first = server.waitForCall(0);
    EXPECT_EQ(first[u"actions"].toVariant().toStringList(), QStringList({"default", "Open"}));

    // The same session's next alert takes the place of the first.
    done.body = QStringLiteral("Failed");
    QTest::qWait(0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.findChildren<QObject*>().isEmpty(); }, 5000));
    notifier.show(done);
    const QJsonObject second = server.waitForCall(1);
    EXPECT_EQ(second[u"replaces_id"], first[u"id"]);

    server.control(QStringLiteral("InvokeAction"), {first[u"id"].toVariant().toUInt(), QStringLiteral("default")});
    ASSERT_TRUE(activated.wait(10000));
    EXPECT_EQ(activated[0][0].toString(), QStringLiteral("session/claude/s1"));
    EXPECT_TRUE(actions.isEmpty());

    // Closed by the person: withdrawing it again must not close a stranger.
    notifier.withdraw(done.id);
    notifier.show(promptAlert());
    const QJsonObject prompt = server.waitForCall(2);
    EXPECT_EQ(prompt[u"replaces_id"].toInt(), 0);
    notifier.withdraw(promptAlert().id);
    const QJsonObject close = server.waitForCall(3);
    EXPECT_EQ(close[u"method"].toString(), QStringLiteral("CloseNotification"));
    EXPECT_EQ(close[u"id"], prompt[u"id"]);
}
