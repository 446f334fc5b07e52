#pragma once

#include "menu/app_environment.h"

#include <QMultiHash>
#include <QWidget>
#include <functional>

#include <qcoro/qcorotask.h>

class QCheckBox;
class QLabel;
class QScrollArea;
class QVBoxLayout;

namespace vesperline {

class AwayModeSwitch;
class MenuRow;
class SessionLine;
class StatusDot;

// The panel under the tray icon: the relay's state, the agents' sessions, the
// away-mode switch, the window rows, the relay controls, "Open at Login" and
// Quit, in one 340-wide column. It renders from the monitor and starts the
// monitor's actions; it keeps no state of its own but the login-item toggle.
class RelayMenu : public QWidget {
    Q_OBJECT

public:
    explicit RelayMenu(const AppEnvironment& environment, QWidget* parent = nullptr);
    ~RelayMenu() override;

    static constexpr int panelWidth = 340;
    static constexpr int sessionListMaxHeight = 240;

    // "Not running", or "Running · TLS · push off · 2 connections".
    QString statusLine() const;
    bool startsAtLogin() const { return m_startsAtLogin; }
    // The header's state dot as drawn now.
    QColor statusDotColor() const;

    // Re-reads the monitor and updates every element.
    void render();

    // The visible elements from top to bottom, as a person reads them (for
    // tests and assistive technology): texts of labels and rows, "separator"
    // for dividers, "sessions" for the session list.
    QStringList visibleOutline() const;

    QList<SessionLine*> sessionLines() const;
    QScrollArea* sessionList() const { return m_sessionScroll; }
    AwayModeSwitch* awayModeSwitch() const { return m_awayMode; }
    QCheckBox* loginToggle() const { return m_loginToggle; }
    MenuRow* row(const QString& title) const;

signals:
    // The content's size may have changed (the panel resizes to fit).
    void contentChanged();

protected:
    void changeEvent(QEvent* event) override;

private:
    void buildHeader(QVBoxLayout* column);
    void renderSessions();
    void renderControls();
    void applyLoginItem(bool wanted);
    void runAction(const std::function<QCoro::Task<>(RelayMonitor&)>& action);
    QWidget* separator();

    AppEnvironment m_environment;
    bool m_startsAtLogin = false;

    QLabel* m_statusLine = nullptr;
    StatusDot* m_dot = nullptr;
    QLabel* m_actionError = nullptr;
    QWidget* m_statusGroup = nullptr;
    QScrollArea* m_sessionScroll = nullptr;
    QWidget* m_sessionContainer = nullptr;
    QVBoxLayout* m_sessionLayout = nullptr;
    QLabel* m_noSessions = nullptr;
    QMultiHash<QString, SessionLine*> m_lines;
    AwayModeSwitch* m_awayMode = nullptr;
    MenuRow* m_startRow = nullptr;
    QLabel* m_pollError = nullptr;
    MenuRow* m_updateRow = nullptr;
    MenuRow* m_useThisRow = nullptr;
    MenuRow* m_restartRow = nullptr;
    MenuRow* m_stopRow = nullptr;
    MenuRow* m_openLogRow = nullptr;
    QCheckBox* m_loginToggle = nullptr;
    MenuRow* m_quitRow = nullptr;
    QList<QWidget*> m_outline; // every element in column order
};

} // namespace vesperline
