// The client's views with a real ClientController behind them where what they
// show comes from it: demo sessions while nothing is paired, a relay that does
// not answer with its last known sessions. Connections are kept in memory and
// the last snapshot in a throw-away settings folder.
#include "app/client_controller.h"
#include "platform/camera_scanner.h"

#include "relay/connection_store.h"
#include "support/in_memory_secret_backend.h"
#include "support/outcome.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>
#include <memory>

Q_IMPORT_QML_PLUGIN(VesperlinePlugin)

using namespace idlewyn;
using vesperline::ClientController;

class Harness : public QObject {
    Q_OBJECT

public:
    Harness()
    {
        // Before anything reads the standard paths: the snapshot store lives here.
        qputenv("XDG_CONFIG_HOME", m_home.filePath(QStringLiteral("config")).toUtf8());
    }

    // A started client. With `unreachableProvider` ("claude"), that provider
    // is paired with a relay that refuses connections, and its sessions of a
    // last run are stored; otherwise nothing is paired.
    Q_INVOKABLE QObject* startedClient(const QString& unreachableProvider)
    {
        ClientController::Options options;
        options.store = ConnectionStore(KeychainStore(QStringLiteral("phone-qml-tests"), std::nullopt,
                                                      std::make_shared<testing::InMemorySecretBackend>()));
        options.snapshotStore = SnapshotStore(QStringLiteral("phone-qml-tests-%1").arg(++m_clients));
        options.settingsFile = m_home.filePath(QStringLiteral("settings-%1.ini").arg(m_clients));
        if (const auto provider = agentProviderFromRawValue(unreachableProvider)) {
            QTcpServer closed;
            closed.listen(QHostAddress::LocalHost, 0);
            const QUrl nowhere(QStringLiteral("https://127.0.0.1:%1").arg(closed.serverPort()));
            closed.close();
            const QDateTime now = QDateTime::currentDateTimeUtc();
            testing::blockingWait(options.store.save({Connection{*provider, nowhere, QStringLiteral("token"),
                                                                 QStringLiteral("Desk"), now, QString(64, u'a')}}));
            AgentSession session;
            session.id = QStringLiteral("s-last");
            session.provider = *provider;
            session.title = QStringLiteral("Fix the flaky CI job");
            session.workingDirectory = QStringLiteral("/srv/infra");
            session.status = SessionStatus::working;
            session.startedAt = session.updatedAt = now.addSecs(-90);
            options.snapshotStore.save(SessionSnapshot{{session}, now});
        }
        auto* client = new ClientController(std::move(options));
        QJSEngine::setObjectOwnership(client, QJSEngine::JavaScriptOwnership);
        client->start();
        return client;
    }

public slots:
    void applicationAvailable()
    {
        // What the views find as Client and Camera when a test gives them none.
        m_client = std::make_unique<ClientController>(ClientController::Options{
            ConnectionStore(KeychainStore(QStringLiteral("phone-qml-tests"), std::nullopt,
                                          std::make_shared<testing::InMemorySecretBackend>())),
            SnapshotStore(QStringLiteral("phone-qml-tests")), LiveSessionService(), std::chrono::milliseconds(2000),
            std::chrono::milliseconds(10000), m_home.filePath(QStringLiteral("settings.ini"))});
        m_camera = std::make_unique<vesperline::CameraScanner>();
        qmlRegisterSingletonInstance("Vesperline.Core", 1, 0, "Client", m_client.get());
        qmlRegisterSingletonInstance("Vesperline.Core", 1, 0, "Camera", m_camera.get());
        qmlRegisterUncreatableType<vesperline::SessionListModel>("Vesperline.Core", 1, 0, "SessionListModel",
                                                                 QStringLiteral("the client owns it"));
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        engine->rootContext()->setContextProperty(QStringLiteral("harness"), this);
    }

private:
    QTemporaryDir m_home;
    int m_clients = 0;
    std::unique_ptr<ClientController> m_client;
    std::unique_ptr<vesperline::CameraScanner> m_camera;
};

QUICK_TEST_MAIN_WITH_SETUP(phone_qml, Harness)

#include "phone_qml_tests.moc"
