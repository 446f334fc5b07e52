#include "menu/idlewyn_relay_app.h"

#include "menu/hooks_view.h"
#include "menu/login_item.h"
#include "menu/menu_bar_icon.h"
#include "menu/pair_view.h"
#include "menu/relay_panel.h"
#include "menu/single_instance.h"
#include "menu/tokens_view.h"
#include "menu/tray_watch.h"
#include "menu/window_manager.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QSystemTrayIcon>
#include <QTimer>

namespace vesperline {

IdlewynRelayApp::IdlewynRelayApp(QObject* parent)
    : IdlewynRelayApp(Options{}, parent)
{
}

IdlewynRelayApp::IdlewynRelayApp(Options options, QObject* parent)
    : QObject(parent)
    , m_options(std::move(options))
{
}

IdlewynRelayApp::~IdlewynRelayApp()
{
    delete m_panel;
}

QCoro::Task<bool> IdlewynRelayApp::start()
{
    m_instance = std::make_unique<SingleInstance>(m_options.instanceName.isEmpty() ? SingleInstance::defaultName()
                                                                                   : m_options.instanceName);
    const bool handedOver = co_await m_instance->handOverToRunningInstance();
    if (handedOver) {
        co_return false;
    }
    connect(m_instance.get(), &SingleInstance::activationRequested, this, &IdlewynRelayApp::showPanel);

    // Creating the monitor brings the installed relay files up to date and
    // starts polling at once.
    m_monitor = new RelayMonitor(this);
    m_loginItem = LoginItem::forThisApplication();
    m_windows = new WindowManager(this);

    m_environment.monitor = m_monitor;
    m_environment.loginItem = m_loginItem.get();
    m_environment.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    m_environment.quit = [] { QApplication::quit(); };
    m_environment.openWindow = [this](const QString& id) {
        if (m_panel && m_panel->presentation() != RelayPanel::Presentation::window) {
            m_panel->hide();
        }
        m_windows->open(id);
    };
    const AppEnvironment environment = m_environment;
    m_windows->registerWindow(QStringLiteral("pair"), [environment] { return new PairView(environment); });
    m_windows->registerWindow(QStringLiteral("tokens"), [environment] { return new TokensView(environment); });
    m_windows->registerWindow(QStringLiteral("hooks"), [environment] { return new HooksView(environment); });

    // Until a tray is found (or the wait ends) there is no panel at all, so
    // a login that starts us before the desktop's panel shows no window.
    m_trayWatch = new TrayWatch(m_options.trayCheckIntervalMs, this);
    connect(m_trayWatch, &TrayWatch::appeared, this, &IdlewynRelayApp::adoptTray);
    QTimer::singleShot(m_options.trayWaitMs, this, &IdlewynRelayApp::fallBackToWindow);
    m_trayWatch->start();
    co_return true;
}

void IdlewynRelayApp::replacePanel(RelayPanel::Presentation presentation)
{
    delete m_panel;
    m_panel = new RelayPanel(m_environment, presentation);
    emit panelChanged(m_panel);
}

void IdlewynRelayApp::fallBackToWindow()
{
    if (m_tray || m_panel) {
        return;
    }
    // Without a tray nothing else would show that the application runs. The
    // watch goes on: a tray that comes later takes over.
    replacePanel(RelayPanel::Presentation::window);
    m_panel->present();
}

void IdlewynRelayApp::adoptTray()
{
    if (m_tray) {
        return;
    }
    replacePanel(RelayPanel::trayPresentation());
    m_tray = new QSystemTrayIcon(this);
    m_tray->setToolTip(QStringLiteral("Vesperline Relay"));
    connect(m_tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::Context
            || reason == QSystemTrayIcon::DoubleClick) {
            if (m_panel->isVisible()) {
                m_panel->hide();
            } else {
                showPanel();
            }
        }
    });
    connect(m_monitor, &RelayMonitor::statusChanged, this, &IdlewynRelayApp::updateIcon);
    qApp->installEventFilter(this);
    updateIcon();
    m_tray->show();
}

void IdlewynRelayApp::showPanel()
{
    if (!m_panel) {
        fallBackToWindow();
        return;
    }
    if (m_tray && m_panel->presentation() == RelayPanel::Presentation::popup) {
        m_panel->showFrom(m_tray->geometry());
    } else {
        m_panel->present();
    }
}

bool IdlewynRelayApp::eventFilter(QObject* watched, QEvent* event)
{
    // A theme switch changes the tray's foreground: redraw the template icon.
    if (watched == qApp && event->type() == QEvent::ApplicationPaletteChange) {
        updateIcon();
    }
    return QObject::eventFilter(watched, event);
}

void IdlewynRelayApp::updateIcon()
{
    if (!m_tray) {
        return;
    }
    // Template icons take the desktop's text colour: a dark theme (and its
    // panel) gets a light glyph, a light theme a dark one.
    const QPalette palette = QApplication::palette();
    m_tray->setIcon(makeIcon(m_monitor->iconState(), palette.color(QPalette::WindowText), palette));
}

} // namespace vesperline
