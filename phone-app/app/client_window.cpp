#include "app/client_window.h"

#include "app/client_controller.h"
#include "platform/camera_scanner.h"

#include <QGuiApplication>
#include <QQmlApplicationEngine>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(VesperlinePlugin)

void vesperline::identifyClientApplication()
{
    QGuiApplication::setOrganizationName(QStringLiteral("Vesperline"));
    QGuiApplication::setApplicationName(QStringLiteral("Vesperline"));
    QGuiApplication::setApplicationDisplayName(QStringLiteral("Vesperline"));
    QGuiApplication::setDesktopFileName(QStringLiteral("io.zembrix.vesperline"));
    QGuiApplication::setQuitOnLastWindowClosed(false);
}

namespace vesperline {

QQuickWindow* loadClientWindow(QQmlApplicationEngine& engine, ClientController& client, CameraScanner& camera)
{
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_STYLE")) {
        QQuickStyle::setStyle(QStringLiteral("Material"));
    }
    if (qEnvironmentVariableIsEmpty("QT_QUICK_CONTROLS_MATERIAL_THEME")) {
        qputenv("QT_QUICK_CONTROLS_MATERIAL_THEME", "System");
    }
    qmlRegisterSingletonInstance("Vesperline.Core", 1, 0, "Client", &client);
    qmlRegisterSingletonInstance("Vesperline.Core", 1, 0, "Camera", &camera);
    qmlRegisterUncreatableType<SessionListModel>("Vesperline.Core", 1, 0, "SessionListModel",
                                                 QStringLiteral("the client owns it"));
    engine.addImportPath(QStringLiteral("qrc:/"));
    engine.load(QUrl(QStringLiteral("qrc:/Vesperline/Main.qml")));
    return engine.rootObjects().isEmpty() ? nullptr : qobject_cast<QQuickWindow*>(engine.rootObjects().first());
}

} // namespace vesperline
