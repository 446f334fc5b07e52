// Vesperline, the phone-side client: wires the core to the platform's
// notifications and camera and loads the views. Closing the window hides it;
// the client keeps polling and alerting until "Quit".
#include "app/client_controller.h"
#include "app/client_window.h"
#include "app/launch_handover.h"
#include "platform/camera_scanner.h"
#include "platform/freedesktop_notifier.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickWindow>

using namespace vesperline;

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    identifyClientApplication();
    QGuiApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.zembrix.vesperline")));

    // The one argument is a link the system opened with us (idlewyn://pair?…).
    const QStringList arguments = QGuiApplication::arguments();
    const QString link = arguments.size() > 1 ? arguments.at(1) : QString();
    LaunchHandover handover;
    if (handover.handOver(link)) {
        return 0;
    }

    ClientController client;
    FreedesktopNotifier notifier;
    client.setNotifier(&notifier);
    CameraScanner camera;
    QQmlApplicationEngine engine;
    QQuickWindow* window = loadClientWindow(engine, client, camera);
    if (!window) {
        return 1;
    }
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
