#include "login_item.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

namespace vesperline {

namespace {

// Desktop entry values escape backslashes; an Exec argument with spaces is quoted.
QString execLine(const QString& executable)
{
    QString escaped = executable;
    escaped.replace(u'\\', QStringLiteral("\\\\"))
        .replace(u'"', QStringLiteral("\\\""))
        .replace(u'`', QStringLiteral("\\`"))
        .replace(u'$', QStringLiteral("\\$"));
    return u'"' + escaped + u'"';
}

} // namespace

std::unique_ptr<LoginItem> LoginItem::forThisApplication()
{
    return std::make_unique<XdgAutostartLoginItem>(QCoreApplication::applicationFilePath());
}

XdgAutostartLoginItem::XdgAutostartLoginItem(QString executable, QString entryName)
    : m_executable(std::move(executable))
    , m_entryName(std::move(entryName))
{
}

QString XdgAutostartLoginItem::entryPath() const
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/autostart/")
        + m_entryName + QStringLiteral(".desktop");
}

LoginItem::Status XdgAutostartLoginItem::status() const
{
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return Status::notRegistered;
    }
    bool inEntry = false;
    bool startsUs = false;
    bool hidden = false;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inEntry = line == QStringLiteral("[Desktop Entry]");
            continue;
        }
        if (!inEntry) {
            continue;
        }
        if (line.startsWith(QStringLiteral("Exec="))) {
            startsUs = line.mid(5) == execLine(m_executable) || line.mid(5) == m_executable;
        } else if (line == QStringLiteral("Hidden=true") || line == QStringLiteral("X-GNOME-Autostart-enabled=false")) {
            hidden = true;
        }
    }
    return startsUs && !hidden ? Status::enabled : Status::notRegistered;
}

void XdgAutostartLoginItem::registerItem()
{
    const QString path = entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        throw idlewyn::Error(QStringLiteral("Could not create the folder for %1.").arg(path));
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        throw idlewyn::Error(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    }
    QTextStream out(&file);
    out << "[Desktop Entry]\n"
        << "Type=Application\n"
        << "Name=Vesperline Relay\n"
        << "Comment=Follow and steer your coding agents from your phone\n"
        << "Exec=" << execLine(m_executable) << "\n"
        << "Icon=io.zembrix.vesperline.relay\n"
        << "Terminal=false\n"
        << "X-GNOME-Autostart-enabled=true\n"
        // Start once the desktop's panel (and with it the tray) is up.
        // gnome-session and MATE delay by seconds; Plasma's phase 2 comes
        // after its panel; LXQt waits for its tray. No
        // X-GNOME-Autostart-Phase: systemd's autostart generator skips
        // every entry that has one, which would leave Plasma and other
        // systemd-started sessions without the application.
        << "X-GNOME-Autostart-Delay=5\n"
        << "X-MATE-Autostart-Delay=5\n"
        << "X-KDE-autostart-phase=2\n"
        << "X-KDE-autostart-after=panel\n"
        << "X-LXQt-Need-Tray=true\n";
    out.flush();
    if (!file.commit()) {
        throw idlewyn::Error(QStringLiteral("Could not write %1: %2").arg(path, file.errorString()));
    }
}

void XdgAutostartLoginItem::unregisterItem()
{
    QFile file(entryPath());
    if (file.exists() && !file.remove()) {
        throw idlewyn::Error(QStringLiteral("Could not remove %1: %2").arg(file.fileName(), file.errorString()));
    }
}

} // namespace vesperline
