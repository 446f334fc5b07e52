#pragma once

#include <QObject>
#include <QTimer>

namespace vesperline {

// Looks, at start and then every `interval`, for a system tray: an XEmbed
// tray manager on X11 (the `_NET_SYSTEM_TRAY_S<n>` selection has an owner)
// or a StatusNotifier host on the session bus (KDE, GNOME's AppIndicator
// extension, most Wayland panels). Emits `appeared` once and stops.
//
// It never asks Qt whether a tray exists: Qt decides once per process
// whether to use the StatusNotifier protocol, at its first tray call, so a
// call made before the panel registers its host would leave a Wayland
// session without a tray icon for good.
class TrayWatch : public QObject {
    Q_OBJECT

public:
    explicit TrayWatch(int intervalMs, QObject* parent = nullptr);

    void start();
    bool hasAppeared() const { return m_appeared; }

    static bool xembedTrayPresent();

signals:
    void appeared();

private:
    void check();
    void found();

    QTimer m_timer;
    bool m_appeared = false;
    bool m_busQueryPending = false;
};

} // namespace vesperline
