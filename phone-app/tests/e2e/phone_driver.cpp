// The phone client as its main() wires it (the real core, the real
// notifications on the session bus, the app's own QML), steered by the
// end-to-end tests one line at a time on standard input. Each command answers
// with one JSON line on standard output; every finished refresh is reported
// as an event line, so a test can tell what the client saw and when.
//
//   phone_driver [--active-interval MS]
//
//   click NAME [SECONDS]    clicks the visible item with this objectName in
//                           the window, waiting for it to appear
//   text NAME [SECONDS]     the text of that item
//   open-session KEY        what activating the session's notification does
//   pair-image PATH         pairs both providers from a QR picture, as the
//                           pairing page's "open an image" does
//   show | hide             the window in front and active, or hidden
//   quit
#include "app/client_controller.h"
#include "app/client_window.h"
#include "platform/camera_scanner.h"
#include "platform/freedesktop_notifier.h"

#include "model/agent_session.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QSocketNotifier>
#include <QTest>

#include <cstdio>
#include <iostream>
#include <string>

using namespace idlewyn;
using namespace vesperline;

namespace {

void reply(const QJsonObject& object)
{
    std::cout << QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString() << std::endl;
}

QJsonObject failure(const QString& text)
{
    return QJsonObject{{"ok", false}, {"error", text}};
}

QJsonArray sessionRows(const SessionSnapshot& snapshot)
{
    QJsonArray rows;
    for (const AgentSession& s : snapshot.sessions) {
        QJsonObject row{{"id", s.id}, {"provider", rawValue(s.provider)}, {"status", rawValue(s.status)}};
        if (s.permission) {
            row.insert("promptId", s.permission->id);
            row.insert("toolName", s.permission->toolName);
            row.insert("detail", s.permission->detail);
        }
        rows.append(row);
    }
    return rows;
}

QQuickItem* findVisible(QQuickItem* root, const QString& name)
{
    if (!root->isVisible()) {
        return nullptr;
    }
    if (root->objectName() == name && root->isEnabled()) {
        return root;
    }
    for (QQuickItem* child : root->childItems()) {
        if (QQuickItem* found = findVisible(child, name)) {
            return found;
        }
    }
    return nullptr;
}

class Driver : public QObject {
public:
    Driver(ClientController& client, QQuickWindow& window)
        : m_client(client)
        , m_window(window)
        , m_input(fileno(stdin), QSocketNotifier::Read)
    {
        connect(&m_input, &QSocketNotifier::activated, this, &Driver::readCommand);
        connect(&client, &ClientController::refreshFinished, this, [this] {
            reply(QJsonObject{{"event", "refreshed"},
                              {"n", ++m_refreshes},
                              {"windowActive", m_client.windowActive()},
                              {"sessions", sessionRows(m_client.snapshot())}});
        });
    }

private:
    void readCommand()
    {
        std::string line;
        if (!std::getline(std::cin, line)) {
            QCoreApplication::quit();
            return;
        }
        // Commands wait with the event loop running; another line that comes
        // meanwhile is read when this one is done.
        m_input.setEnabled(false);
        reply(run(QString::fromStdString(line).split(QLatin1Char(' '), Qt::SkipEmptyParts)));
        m_input.setEnabled(true);
    }

    // The item once it shows and has stopped moving (a page being pushed
    // slides in: a click meanwhile would land beside it).
    QQuickItem* waitForItem(const QString& name, int seconds)
    {
        QQuickItem* item = nullptr;
        QPointF last(-1, -1);
        QElapsedTimer still;
        const auto settled = [&] {
            item = findVisible(m_window.contentItem(), name);
            const QPointF here = item ? item->mapToScene(QPointF(0, 0)) : QPointF(-1, -1);
            if (!item || here != last) {
                last = here;
                still.start();
                return false;
            }
            return still.elapsed() >= 150;
        };
        return QTest::qWaitFor(settled, seconds * 1000) ? item : nullptr;
    }

    QJsonObject run(const QStringList& words)
    {
        const QString command = words.value(0);
        const QString argument = words.value(1);
        const int seconds = words.size() > 2 ? words[2].toInt() : 10;
        if (command == "click" || command == "text") {
            QQuickItem* item = waitForItem(argument, seconds);
            if (!item) {
                return failure("no visible, enabled item named " + argument);
            }
            if (command == "text") {
                return {{"ok", true}, {"text", item->property("text").toString()}};
            }
            const QPointF centre = item->mapToScene(QPointF(item->width() / 2, item->height() / 2));
            QTest::mouseClick(&m_window, Qt::LeftButton, {}, centre.toPoint());
            return {{"ok", true}};
        }
        if (command == "open-session") {
            QMetaObject::invokeMethod(&m_window, "openSession", Q_ARG(QVariant, argument));
            return {{"ok", true}};
        }
        if (command == "pair-image") {
            m_client.pairWithImage(QUrl::fromLocalFile(argument), true, true);
            if (!QTest::qWaitFor([this] { return !m_client.pairing(); }, 30000)) {
                return failure("the pairing did not end");
            }
            QJsonArray pins;
            for (const Connection& c : m_client.connectionList()) {
                pins.append(QJsonObject{{"provider", rawValue(c.provider)},
                                        {"pin", c.certificatePin.value_or(QString())},
                                        {"account", c.accountName}});
            }
            return {{"ok", m_client.pairingSucceeded()}, {"message", m_client.pairingMessage()}, {"connections", pins}};
        }
        if (command == "show") {
            m_window.show();
            m_window.requestActivate();
            const bool active = QTest::qWaitFor([this] { return m_client.windowActive(); }, 10000);
            return {{"ok", active}};
        }
        if (command == "hide") {
            m_window.hide();
            const bool idle = QTest::qWaitFor([this] { return !m_client.windowActive(); }, 10000);
            return {{"ok", idle}};
        }
        if (command == "quit") {
            QCoreApplication::quit();
            return {{"ok", true}};
        }
        return failure("unknown command " + command);
    }

    ClientController& m_client;
    QQuickWindow& m_window;
    QSocketNotifier m_input;
    int m_refreshes = 0;
};

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    identifyClientApplication();

    // --active-interval MS: a test that must act between two polls of an
    // active window slows them down; everything else is as shipped.
    ClientController::Options options;
    const QStringList arguments = QGuiApplication::arguments();
    const qsizetype slow = arguments.indexOf(QStringLiteral("--active-interval"));
    if (slow > 0 && slow + 1 < arguments.size()) {
        options.activeInterval = std::chrono::milliseconds(arguments[slow + 1].toInt());
    }
    ClientController client(options);
    FreedesktopNotifier notifier;
    client.setNotifier(&notifier);
    CameraScanner camera;
    QQmlApplicationEngine engine;
    QQuickWindow* window = loadClientWindow(engine, client, camera);
    if (!window) {
        return 1;
    }
    Driver driver(client, *window);
    client.start();
    reply(QJsonObject{{"event", "ready"}});
    return QGuiApplication::exec();
}
