// Vesperline, the phone-side client: wires the core to the platform's
// notifications and camera and loads the views. Closing the window hides it;
// the client keeps polling and alerting until "Quit".
#include "app/client_controller.h"
#include "app/launch_handover.h"
#include "platform/camera_scanner.h"
#include "platform/freedesktop_notifier.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQmlContext>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(VesperlinePlugin)

using namespace vesperline;

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Vesperline"));
    QGuiApplication::setApplicationName(QStringLiteral("Vesperline"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Vesperline"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.zembrix.vesperline"));
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.zembrix.vesperline")));
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // The one argument is a link the system opened with us (idlewyn://pair?…).
    const QStringList arguments = QGuiApplication::arguments();
    const QString link = arguments.size() > 1 ? arguments.at(1) : QString();
    LaunchHandover handover;
    if (handover.handOver(link)) {
        return 0;
    }

    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE")) {
        QQuickStyle::setStyle(QStringLiteral("Material"));
    }
    // Light and dark as the system is, unless Qt is told otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_MATERIAL_THEME")) {
        qputenv("QT_QUICK_CONTROLS_MATERIAL_THEME", "System");
    }
    ClientController client;
    FreedesktopNotifier notifier;
    client.setNotifier(&notifier);
    CameraScanner camera;

    qmlRegisterSingletonInstance("Vesperline.Core", 1, 0, "Client", &client);
    qmlRegisterSingletonInstance("Vesperline.Core", 1, 0, "Camera", &camera);
    qmlRegisterUncreatableType<SessionListModel>("Vesperline.Core", 1, 0, "SessionListModel",
                                                 QStringLiteral("the client owns it"));

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.load(QUrl(QStringLiteral("qrc:/Vesperline/Main.qml")));
    if (engine.rootObjects().isEmpty()) {
        return 1;
    }
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    const auto bringForward = [window] {
        window->show();
        window->raise();
        window->requestActivate();
    };
    const auto openLink = [window, bringForward](const QString& text) {
        bringForward();
        if (!text.isEmpty()) {
            QMetaObject::invokeMethod(window, "openPairing", Q_ARG(QVariant, text));
        }
    };
    QObject::connect(&handover, &LaunchHandover::received, window, openLink);
    QObject::connect(&client, &ClientController::showSessionRequested, window,
                     [window, bringForward](const QString& key) {
                         bringForward();
                         QMetaObject::invokeMethod(window, "openSession", Q_ARG(QVariant, key));
                     });
    client.start();
    if (!link.isEmpty()) {
        openLink(link);
    }
    return QGuiApplication::exec();
}
