#include "menu/idlewyn_relay_app.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Vesperline"));
    QApplication::setApplicationName(QStringLiteral("Vesperline Relay"));
    QApplication::setQuitOnLastWindowClosed(false);

    vesperline::IdlewynRelayApp app;
    if (!app.start()) {
        return 0; // the running instance shows its panel instead
    }
    return QApplication::exec();
}
