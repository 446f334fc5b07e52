#pragma once

class QQmlApplicationEngine;
class QQuickWindow;

namespace vesperline {

class CameraScanner;
class ClientController;

// Names the running application as the client: its settings' folder, the
// name and desktop entry its notifications carry, and that closing its
// window does not quit (alerts keep coming). Call after QGuiApplication exists.
void identifyClientApplication();

// The client's views on `engine`: Main.qml of the Vesperline module, with the
// client and the camera as Client and Camera of Vesperline.Core. Material
// unless Qt is told another style, light or dark as the system is unless Qt
// is told a theme. Null when the views do not load.
//
// Once per process: the registrations are the process's.
QQuickWindow* loadClientWindow(QQmlApplicationEngine& engine, ClientController& client, CameraScanner& camera);

} // namespace vesperline
