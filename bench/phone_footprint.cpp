// The phone client beside its floor, measured the same way: a bare Qt Quick
// Controls application with a window of the client's size and a list of the
// same length. Driven by phone_footprint.sh, which feeds the relay and reads
// memory and CPU from /proc.
//
//   phone_footprint floor          the floor: prints first-list-ms, then idles
//   phone_footprint client [S]     the client as its main() wires it: prints
//                                  first-list-ms, and after S seconds (default:
//                                  never) its TLS handshakes (all, and after the
//                                  first poll), requests and polls
//   phone_footprint pair LINK      setup: pairs both providers and stores them
//
// first-list-ms runs from VESPERLINE_BENCH_T0 (nanoseconds since the epoch,
// taken by the script just before it starts the process, so loading the
// libraries counts) to the first frame swapped after the list has its ten
// rows (the relay's ten sessions, for the client).
#include "app/client_controller.h"
#include "app/client_window.h"
#include "platform/camera_scanner.h"
#include "platform/freedesktop_notifier.h"

#include "relay/certificate_pin.h"

#include <QDateTime>
#include <QGuiApplication>
#include <QNetworkAccessManager>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickStyle>
#include <QQuickWindow>
#include <QTimer>

#include <qcoro/qcorotask.h>

#include <cstdio>
#include <memory>

using namespace idlewyn;
using namespace vesperline;

namespace {

const char* floorQml = R"(
import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

ApplicationWindow {
    width: 390; height: 844; visible: true
    title: "Floor"
    header: ToolBar { Label { anchors.centerIn: parent; text: "10 sessions"; font.bold: true } }
    ListView {
        objectName: "sessionList"
        anchors.fill: parent
        model: 10 // listRows
        delegate: ItemDelegate {
            width: ListView.view.width
            contentItem: ColumnLayout {
                Label { text: "Session " + (index + 1); font.bold: true }
                Label { text: "Working · ~/Developer/project"; opacity: 0.7 }
            }
        }
    }
}
)";

constexpr int listRows = 10;

QQuickItem* findItem(QQuickItem* root, const QString& name)
{
    if (root->objectName() == name) {
        return root;
    }
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findItem(child, name)) {
            return found;
        }
    }
    return nullptr;
}

// Prints the time to the first painted list once.
void timeFirstList(QQuickWindow* window)
{
    auto done = std::make_shared<bool>(false);
    QObject::connect(window, &QQuickWindow::frameSwapped, window, [window, done] {
        if (*done) {
            return;
        }
        QQuickItem* list = findItem(window->contentItem(), QStringLiteral("sessionList"));
        // All ten rows: a client still loading its connections may show
        // demo sessions first, which is not the list this measures.
        if (!list || list->property("count").toInt() < listRows) {
            return;
        }
        // The rows exist; this frame may or may not hold them yet, the next one does.
        *done = true;
        QObject::connect(window, &QQuickWindow::frameSwapped, window, [] {
            static bool printed = false;
            if (printed) {
                return;
            }
            printed = true;
            const qint64 start = qgetenv("VESPERLINE_BENCH_T0").toLongLong();
            const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000000;
            std::printf("first-list-ms %.1f\n", (now - start) / 1e6);
            std::fflush(stdout);
        });
        window->update();
    });
}

int runFloor(QGuiApplication& app)
{
    QQmlApplicationEngine engine;
    engine.loadData(floorQml);
    auto* window = qobject_cast<QQuickWindow*>(engine.rootObjects().value(0));
    if (!window) {
        return 1;
    }
    timeFirstList(window);
    return app.exec();
}

int runClient(QGuiApplication& app, int seconds)
{
    ClientController client;
    FreedesktopNotifier notifier;
    client.setNotifier(&notifier);
    CameraScanner camera;
    QQmlApplicationEngine engine;
    QQuickWindow* window = loadClientWindow(engine, client, camera);
    if (!window) {
        return 1;
    }
    timeFirstList(window);

    // Every pinned request of the process goes through the one session of
    // its pin; its network manager reports each completed TLS handshake
    // (a request on a kept-alive connection has none) and each reply.
    int handshakes = 0;
    int requests = 0;
    int refreshes = 0;
    int firstPollHandshakes = 0;
    QObject::connect(&client, &ClientController::connectionsChanged, &app, [&] {
        for (const Connection& c : client.connectionList()) {
            if (!c.certificatePin) {
                continue;
            }
            auto* manager = CertificatePin::session(*c.certificatePin).findChild<QNetworkAccessManager*>();
            if (manager && !manager->property("benchCounted").toBool()) {
                manager->setProperty("benchCounted", true);
                QObject::connect(manager, &QNetworkAccessManager::encrypted, &app, [&] { ++handshakes; });
                QObject::connect(manager, &QNetworkAccessManager::finished, &app, [&] { ++requests; });
            }
        }
    });
    QObject::connect(&client, &ClientController::refreshFinished, &app, [&] {
        if (++refreshes == 1) {
            firstPollHandshakes = handshakes;
        }
    });
    client.start();
    if (seconds > 0) {
        QTimer::singleShot(seconds * 1000, &app, [&] {
            std::printf("handshakes %d later %d requests %d polls %d\n", handshakes, handshakes - firstPollHandshakes,
                        requests, refreshes);
            std::fflush(stdout);
            app.quit();
        });
    }
    return app.exec();
}

int runPair(const QString& link)
{
    ClientController client;
    QCoro::waitFor(client.loadConnections());
    const auto result = QCoro::waitFor(client.pair(link, {AgentProvider::claude, AgentProvider::codex}));
    std::printf("paired %lld%s\n", static_cast<long long>(result.paired.size()),
                qPrintable(result.message.isEmpty() ? QString() : QStringLiteral(": ") + result.message));
    return result.succeeded() ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QGuiApplication::setOrganizationName(QStringLiteral("Vesperline"));
    QGuiApplication::setApplicationName(QStringLiteral("Vesperline"));
    QQuickStyle::setStyle(QStringLiteral("Material"));
    const QStringList arguments = QGuiApplication::arguments();
    const QString mode = arguments.value(1);
    if (mode == QLatin1String("floor")) {
        return runFloor(app);
    }
    if (mode == QLatin1String("client")) {
        return runClient(app, arguments.value(2).toInt());
    }
    if (mode == QLatin1String("pair") && arguments.size() == 3) {
        return runPair(arguments[2]);
    }
    std::fprintf(stderr, "usage: phone_footprint floor | client [SECONDS] | pair LINK\n");
    return 64;
}
