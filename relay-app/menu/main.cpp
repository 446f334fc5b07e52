#include "menu/idlewyn_relay_app.h"

#include <QApplication>

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

    vesperline::IdlewynRelayApp app;
    const QCoro::Task<> starting = startOrHandOver(app);
    return QApplication::exec();
}
