#include "menu/idlewyn_relay_app.h"

#include <QApplication>
#include <QIcon>

namespace {

// Ends the process once another instance has taken over; the quit is queued
// so that it also counts when the answer comes before the loop runs.
QCoro::Task<> startOrHandOver(vesperline::IdlewynRelayApp& app)
{
    // Awaited outside the condition: GCC 12 miscompiles a co_await inside one.
    const bool started = co_await app.start();
    if (!started) {
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vesperline"));
    QApplication::setApplicationName(QStringLiteral("Vesperline Relay"));
    QApplication::setQuitOnLastWindowClosed(false);
    // The installed desktop entry's name: on Wayland it is the window's
    // app id, by which the compositor finds the entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("io.zembrix.vesperline.relay"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("io.zembrix.vesperline.relay")));

    vesperline::IdlewynRelayApp app;
    const QCoro::Task<> starting = startOrHandOver(app);
    return QApplication::exec();
}
