#pragma once

// A monitor fed by a scripted admin endpoint in the test's private HOME, a
// service manager that records its calls, a login item under the test's
// control, and an environment whose application actions are recorded.

#include "menu/app_environment.h"
#include "menu/idlewyn_relay_app.h"
#include "menu/login_item.h"
#include "supervisor/relay_monitor.h"
#include "supervisor/service_manager.h"

#include "support/scripted_server.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <functional>
#include <memory>

namespace vesperline::menutest {

class RecordingServiceManager : public ServiceManager {
public:
    QCoro::Task<> start() const override { return record(QStringLiteral("start")); }
    QCoro::Task<> restart() const override { return record(QStringLiteral("restart")); }
    QCoro::Task<> stop() const override { return record(QStringLiteral("stop")); }
    bool hasDefinition() const override { return installedPath.has_value(); }
    std::optional<QString> installedRelayPath() const override { return installedPath; }
    QString name() const override { return QStringLiteral("recording"); }

    std::optional<QString> installedPath;
    mutable QStringList calls;

private:
    QCoro::Task<> record(QString call) const;
};

class FakeLoginItem : public LoginItem {
public:
    Status status() const override { return current; }
    void registerItem() override;
    void unregisterItem() override;

    Status current = Status::notRegistered;
    // What registering leaves behind (e.g. requiresApproval); enabled by default.
    Status afterRegister = Status::enabled;
    std::optional<QString> failure;
    QStringList calls;
};

// A status document; tokens are given as {"id": …} objects.
QByteArray statusJson(const QJsonArray& sessions = {}, const QJsonArray& tokens = {}, bool tls = false,
                      bool push = false, bool remoteApprovals = false);

class MenuFixture {
public:
    MenuFixture();
    ~MenuFixture();

    // Points relay-url at a port nobody listens on.
    void relayDown();
    void serveStatus(const QByteArray& statusDocument);

    // Builds the monitor (polling every 50 ms) and the environment.
    RelayMonitor& monitor();
    // An installer like the monitor's, for arranging the disk.
    RelayInstaller installer() const;
    AppEnvironment environment();
    // Waits until the monitor has a status.
    bool waitForStatus();
    // The bodies of the requests whose path ends so, in the order sent.
    QList<QByteArray> bodiesSentTo(const QByteArray& pathEnd) const;

    QString supportDirectory;
    idlewyn::testing::ScriptedServer server;
    std::shared_ptr<RecordingServiceManager> services = std::make_shared<RecordingServiceManager>();
    FakeLoginItem loginItem;
    // Set before the monitor is built.
    QString pythonExecutable = QStringLiteral("/usr/bin/python3");
    QStringList openedWindows;
    QList<QUrl> openedUrls;
    int quits = 0;

private:
    std::unique_ptr<RelayMonitor> m_monitor;
};

bool waitUntil(const std::function<bool()>& condition);

// A started application that lives, as in production, until the process
// ends (its monitor's polling loop is never stopped). Its instance name is
// unique, so that no running copy takes the launch over.
IdlewynRelayApp& startedApp(IdlewynRelayApp::Options options);

} // namespace vesperline::menutest
