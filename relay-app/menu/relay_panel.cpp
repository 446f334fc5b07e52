#include "menu/relay_panel.h"

#include "menu/relay_menu.h"
#include "supervisor/relay_monitor.h"

#include <QCloseEvent>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QVBoxLayout>

namespace vesperline {

namespace {

Qt::WindowFlags flagsFor(RelayPanel::Presentation presentation)
{
    switch (presentation) {
    case RelayPanel::Presentation::popup:
        return Qt::Popup | Qt::FramelessWindowHint;
    case RelayPanel::Presentation::transient:
        return Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint;
    case RelayPanel::Presentation::window:
        break;
    }
    return Qt::Window;
}

} // namespace

RelayPanel::Presentation RelayPanel::trayPresentation()
{
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland")) ? Presentation::transient
                                                                                : Presentation::popup;
}

RelayPanel::RelayPanel(const AppEnvironment& environment, Presentation presentation, QWidget* parent)
    : QWidget(parent, flagsFor(presentation))
    , m_environment(environment)
    , m_presentation(presentation)
{
    setWindowTitle(QStringLiteral("Vesperline Relay"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_menu = new RelayMenu(environment, this);
    layout->addWidget(m_menu);
    connect(m_menu, &RelayMenu::contentChanged, this, &RelayPanel::fitContent);
}

QPoint RelayPanel::placement(const QSize& panel, const QRect& anchor, const QRect& available)
{
    const int gap = 4;
    int x = anchor.center().x() - panel.width() / 2;
    int y =
        anchor.center().y() < available.center().y() ? anchor.bottom() + 1 + gap : anchor.top() - gap - panel.height();
    x = std::clamp(x, available.left(), std::max(available.left(), available.right() + 1 - panel.width()));
    y = std::clamp(y, available.top(), std::max(available.top(), available.bottom() + 1 - panel.height()));
    return {x, y};
}

void RelayPanel::showFrom(const QRect& anchor)
{
    m_anchor = anchor.isEmpty() ? QRect(QCursor::pos(), QSize(1, 1)) : anchor;
    adjustSize();
    QScreen* screen = QGuiApplication::screenAt(m_anchor.center());
    if (!screen) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen) {
        move(placement(size(), m_anchor, screen->availableGeometry()));
    }
    show();
    raise();
    activateWindow();
}

void RelayPanel::present()
{
    show();
    raise();
    activateWindow();
}

void RelayPanel::fitContent()
{
    const QPoint topLeft = pos();
    const int oldBottom = geometry().bottom();
    adjustSize();
    if (m_presentation == Presentation::popup && isVisible() && !m_anchor.isNull()) {
        // A panel that hangs above its icon grows upwards.
        if (m_anchor.top() > topLeft.y()) {
            move(topLeft.x(), oldBottom + 1 - height());
        }
    }
}

void RelayPanel::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The relay controls read the installation on disk: look again now.
    m_menu->render();
    if (m_environment.monitor) {
        m_environment.monitor->setMenuOpen(true);
    }
}

void RelayPanel::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    if (m_environment.monitor) {
        m_environment.monitor->setMenuOpen(false);
    }
}

void RelayPanel::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (m_presentation == Presentation::window && event->isAccepted() && m_environment.quit) {
        m_environment.quit();
    }
}

void RelayPanel::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && m_presentation == Presentation::transient) {
        hide();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool RelayPanel::event(QEvent* event)
{
    // Like the popup it stands in for, the transient panel goes when the
    // user turns to something else.
    if (event->type() == QEvent::WindowDeactivate && m_presentation == Presentation::transient && isVisible()) {
        hide();
    }
    return QWidget::event(event);
}

void RelayPanel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Window));
    if (m_presentation == Presentation::popup) {
        QColor border = palette().color(QPalette::WindowText);
        border.setAlphaF(0.2);
        painter.setPen(border);
        painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
}

} // namespace vesperline
