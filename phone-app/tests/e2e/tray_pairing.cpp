// The tray application as its main() builds it, until its pairing window shows
// the relay's QR code: as at a person's first launch, the application installs
// the relay's files, and its "Start Relay" action starts the relay through
// this machine's service manager. The window is
// grabbed as a screenshot would be, written to the PNG named by the only
// argument, and the application quits; the relay keeps running, as it does
// when the tray application ends.
//
// Prints the pairing link the relay reports, for the test to compare.
#include "menu/idlewyn_relay_app.h"
#include "menu/pair_view.h"
#include "supervisor/relay_monitor.h"

#include <QApplication>
#include <QTest>
#include <QTextStream>

#include <unistd.h>

using namespace vesperline;

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vesperline"));
    QApplication::setApplicationName(QStringLiteral("Vesperline Relay"));
    QApplication::setQuitOnLastWindowClosed(false);
    if (argc != 2) {
        QTextStream(stderr) << "usage: tray_pairing OUTPUT.png\n";
        return 64;
    }

    // No tray under Xvfb: do not wait for one. The instance name keeps a tray
    // application the person may be running out of it.
    IdlewynRelayApp::Options options;
    options.instanceName = QStringLiteral("vesperline-relay-e2e-%1").arg(::getpid());
    options.trayWaitMs = 0;
    IdlewynRelayApp app(options);
    const bool started = QCoro::waitFor(app.start());
    if (!started) {
        QTextStream(stderr) << "the tray application did not start\n";
        return 1;
    }
    QCoro::waitFor(app.monitor()->start());
    if (app.monitor()->actionError()) {
        QTextStream(stderr) << "Start Relay failed: " << *app.monitor()->actionError() << "\n";
        return 1;
    }
    const auto linked = [&app] { return app.monitor()->status() && !app.monitor()->status()->pairingLink.isEmpty(); };
    if (!QTest::qWaitFor(linked, 60000)) {
        QTextStream(stderr) << "the relay never answered the tray application: "
                            << app.monitor()->lastError().value_or(QString()) << "\n";
        return 1;
    }

    app.environment().openWindow(QStringLiteral("pair"));
    PairView* view = nullptr;
    const auto shown = [&view] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            auto* candidate = qobject_cast<PairView*>(top);
            candidate = candidate ? candidate : top->findChild<PairView*>();
            if (candidate && candidate->isVisible() && candidate->showsPairing()) {
                view = candidate;
                return true;
            }
        }
        return false;
    };
    if (!QTest::qWaitFor(shown, 20000) || !QTest::qWaitForWindowExposed(view->window())) {
        QTextStream(stderr) << "the pairing window did not show a QR code\n";
        return 1;
    }
    if (!view->window()->grab().save(QString::fromLocal8Bit(argv[1]))) {
        QTextStream(stderr) << "cannot write " << argv[1] << "\n";
        return 1;
    }
    QTextStream(stdout) << app.monitor()->status()->pairingLink << "\n";
    return 0;
}
