#pragma once

#include "menu/app_environment.h"

#include <QRect>
#include <QWidget>

namespace vesperline {

class RelayMenu;

// The window that carries the menu: a frameless popup hanging from the tray
// icon (it closes when the user clicks elsewhere), or — on a desktop without
// a system tray — an ordinary window, so the application is never invisible.
// While it shows, the monitor's isMenuOpen is true. Closing the window of a
// tray-less desktop quits the application: nothing else would lead back to it.
//
// Wayland lets no client place a window at screen coordinates, and a popup
// there needs a parent window that has just had input, which a tray click
// does not give. So there the tray opens a `transient` panel: an ordinary
// window, placed by the compositor, that goes away when it loses the focus
// or on Escape, like the popup.
class RelayPanel : public QWidget {
    Q_OBJECT

public:
    enum class Presentation { popup, window, transient };

    // How the tray opens the panel on this platform: popup, or transient
    // on Wayland.
    static Presentation trayPresentation();

    RelayPanel(const AppEnvironment& environment, Presentation presentation, QWidget* parent = nullptr);

    Presentation presentation() const { return m_presentation; }
    RelayMenu* menu() const { return m_menu; }

    // Shows the panel hanging from `anchor` (the tray icon's screen rectangle;
    // an empty rectangle places it at the pointer).
    void showFrom(const QRect& anchor);
    // Shows an ordinary window, or brings it forward.
    void present();

    // Where the popup goes for an anchor on a screen area: centred under the
    // anchor (above it when the anchor sits in the lower half), kept inside.
    static QPoint placement(const QSize& panel, const QRect& anchor, const QRect& available);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool event(QEvent* event) override;

private:
    void fitContent();

    AppEnvironment m_environment;
    Presentation m_presentation;
    RelayMenu* m_menu;
    QRect m_anchor;
};

} // namespace vesperline
