#include "menu/idlewyn_relay_app.h"

#include <QApplication>
#include <QIcon>

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
    if (!app.start()) {
        return 0; // the running instance shows its panel instead
    }
    return QApplication::exec();
}
