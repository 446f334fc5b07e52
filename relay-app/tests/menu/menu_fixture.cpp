#include "menu_fixture.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTest>
#include <QUuid>

#include <qcoro/qcorotask.h>

namespace vesperline::menutest {

QCoro::Task<> RecordingServiceManager::record(QString call) const
{
    calls.append(call);
    co_return;
}

void FakeLoginItem::registerItem()
{
    calls.append(QStringLiteral("register"));
    if (failure) {
        throw idlewyn::Error(*failure);
    }
    current = afterRegister;
}

void FakeLoginItem::unregisterItem()
{
    calls.append(QStringLiteral("unregister"));
    current = Status::notRegistered;
}

QByteArray statusJson(const QJsonArray& sessions, const QJsonArray& tokens, bool tls, bool push, bool remoteApprovals)
{
    QJsonObject status{{QStringLiteral("version"), QStringLiteral("1.0.0")},
                       {QStringLiteral("sessions"), sessions},
                       {QStringLiteral("remoteApprovals"), remoteApprovals},
                       {QStringLiteral("pushConfigured"), push},
                       {QStringLiteral("pairingLink"),
                        QStringLiteral("idlewyn://pair?url=http%3A%2F%2F127.0.0.1%3A8787&code=ABCD-EFGH")},
                       {QStringLiteral("pairingCode"), QStringLiteral("ABCD-EFGH")},
                       {QStringLiteral("tokens"), tokens}};
    if (tls) {
        status.insert(QStringLiteral("tlsFingerprint"), QString(64, u'a'));
    }
    return QJsonDocument(status).toJson(QJsonDocument::Compact);
}

namespace {
void writeText(const QString& path, const QByteArray& text)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        file.write(text);
    }
}
} // namespace

MenuFixture::MenuFixture()
{
    // One process runs many tests: start each from an empty account.
    QDir(QDir::homePath()).removeRecursively();
    supportDirectory = QDir::homePath() + QStringLiteral("/.idlewyn-relay");
    QDir().mkpath(supportDirectory);
    writeText(supportDirectory + QStringLiteral("/hook-secret"), "s3cret\n");
    writeText(supportDirectory + QStringLiteral("/relay-url"), server.baseUrl().toString().toUtf8() + "\n");
    serveStatus(statusJson());
}

MenuFixture::~MenuFixture()
{
    // The polling loop ends once it sees its monitor gone; let it get there
    // before the process may exit, or its frame is reported as a leak. A
    // poll still in flight is answered first: the shared network session
    // outlives the application, and its thread crashes delivering a reply
    // once the application is gone.
    m_monitor.reset();
    waitUntil([this] { return server.findChildren<QTcpSocket*>().isEmpty(); });
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void MenuFixture::relayDown()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    writeText(supportDirectory + QStringLiteral("/relay-url"),
              QStringLiteral("http://127.0.0.1:%1\n").arg(port).toUtf8());
}

void MenuFixture::serveStatus(const QByteArray& statusDocument)
{
    server.setResponder([statusDocument](const idlewyn::testing::ScriptedServer::Request& request) {
        if (request.path.endsWith("/v1/admin/status")) {
            return idlewyn::testing::ScriptedServer::httpResponse(200, statusDocument);
        }
        if (request.path.endsWith("/v1/admin/settings")) {
            return idlewyn::testing::ScriptedServer::httpResponse(200, request.body);
        }
        if (request.path.endsWith("/v1/admin/tokens/revoke")) {
            return idlewyn::testing::ScriptedServer::httpResponse(200, "{\"revoked\":1}");
        }
        return idlewyn::testing::ScriptedServer::httpResponse(404, "{}");
    });
}

RelayInstaller MenuFixture::installer() const
{
    RelayInstaller::Options options;
    options.home = QDir::homePath();
    options.serviceManager = services;
    options.pythonExecutable = pythonExecutable;
    return RelayInstaller(options);
}

RelayMonitor& MenuFixture::monitor()
{
    if (!m_monitor) {
        RelayMonitor::Options options{installer(), AdminClient(supportDirectory), {}, {}, {}, {}};
        options.menuOpenPause = std::chrono::milliseconds(50);
        options.menuClosedPause = std::chrono::milliseconds(50);
        options.actionSettle = std::chrono::milliseconds(0);
        m_monitor = std::make_unique<RelayMonitor>(std::move(options));
    }
    return *m_monitor;
}

AppEnvironment MenuFixture::environment()
{
    AppEnvironment environment;
    environment.monitor = &monitor();
    environment.loginItem = &loginItem;
    environment.openWindow = [this](const QString& id) { openedWindows.append(id); };
    environment.openUrl = [this](const QUrl& url) { openedUrls.append(url); };
    environment.quit = [this] { ++quits; };
    return environment;
}

bool MenuFixture::waitForStatus()
{
    return waitUntil([this] { return monitor().status().has_value(); });
}

QList<QByteArray> MenuFixture::bodiesSentTo(const QByteArray& pathEnd) const
{
    QList<QByteArray> bodies;
    for (const auto& request : server.requests()) {
        if (request.path.endsWith(pathEnd)) {
            bodies.append(request.body);
        }
    }
    return bodies;
}

bool waitUntil(const std::function<bool()>& condition)
{
    return QTest::qWaitFor(condition, 10000);
}

IdlewynRelayApp& startedApp(IdlewynRelayApp::Options options)
{
    options.instanceName = QStringLiteral("vesperline-test-") + QUuid::createUuid().toString(QUuid::Id128);
    static QList<IdlewynRelayApp*> apps;
    apps << new IdlewynRelayApp(std::move(options));
    EXPECT_TRUE(QCoro::waitFor(apps.last()->start())) << "another instance took the launch over";
    return *apps.last();
}

} // namespace vesperline::menutest
