#include "menu/relay_menu.h"

#include "menu/away_mode_switch.h"
#include "menu/login_item.h"
#include "menu/menu_row.h"
#include "menu/session_line.h"
#include "menu/text_elision.h"

#include "design/fill_style.h"
#include "design/palette.h"
#include "design/spacing.h"
#include "design/symbol_catalogue.h"
#include "design/typography.h"
#include "supervisor/relay_monitor.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

using namespace idlewyn;

namespace vesperline {

// The header's state dot: finished tint while the relay answers, failed tint
// while it does not.
class StatusDot : public QWidget {
public:
    explicit StatusDot(QWidget* parent)
        : QWidget(parent)
    {
        setFixedSize(8, 8);
    }

    void setRunning(bool running)
    {
        if (m_running != running || !m_set) {
            m_running = running;
            m_set = true;
            update();
        }
    }
    bool isRunning() const { return m_running; }
    QColor color() const { return tint(m_running ? SessionStatus::finished : SessionStatus::failed).resolved(this); }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(color());
        painter.drawEllipse(QRectF(rect()));
    }

private:
    bool m_running = false;
    bool m_set = false;
};

namespace {

class Separator : public QWidget {
public:
    explicit Separator(QWidget* parent)
        : QWidget(parent)
    {
        setFixedHeight(1);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QColor line = palette().color(QPalette::WindowText);
        line.setAlphaF(0.15);
        painter.fillRect(rect(), line);
    }
};

void setForeground(QWidget* widget, const QColor& color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, color);
    widget->setPalette(palette);
}

} // namespace

RelayMenu::RelayMenu(const AppEnvironment& environment, QWidget* parent)
    : QWidget(parent)
    , m_environment(environment)
{
    setFixedWidth(panelWidth);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(Spacing::m, Spacing::m, Spacing::m, Spacing::m);
    column->setSpacing(Spacing::s);

    buildHeader(column);

    m_actionError = new QLabel(this);
    m_actionError->setFont(Typography::meta());
    m_actionError->setWordWrap(true);
    m_actionError->setTextFormat(Qt::PlainText);
    m_actionError->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(m_actionError);
    m_outline.append(m_actionError);

    column->addWidget(separator());

    // Only while the relay answers: sessions, away mode and the window rows.
    m_statusGroup = new QWidget(this);
    auto* group = new QVBoxLayout(m_statusGroup);
    group->setContentsMargins(0, 0, 0, 0);
    group->setSpacing(Spacing::s);
    column->addWidget(m_statusGroup);

    m_noSessions = new QLabel(QStringLiteral("No sessions"), m_statusGroup);
    m_noSessions->setFont(Typography::supporting());
    group->addWidget(m_noSessions);
    m_outline.append(m_noSessions);

    m_sessionScroll = new QScrollArea(m_statusGroup);
    m_sessionScroll->setFrameShape(QFrame::NoFrame);
    m_sessionScroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_sessionScroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_sessionScroll->setWidgetResizable(true);
    m_sessionScroll->setBackgroundRole(QPalette::Window);
    m_sessionScroll->viewport()->setAutoFillBackground(false);
    m_sessionContainer = new QWidget;
    m_sessionContainer->setAutoFillBackground(false);
    m_sessionLayout = new QVBoxLayout(m_sessionContainer);
    m_sessionLayout->setContentsMargins(0, 0, 0, 0);
    m_sessionLayout->setSpacing(Spacing::s);
    m_sessionLayout->addStretch(1);
    m_sessionScroll->setWidget(m_sessionContainer);
    group->addWidget(m_sessionScroll);
    m_outline.append(m_sessionScroll);

    auto* groupSeparator1 = new Separator(m_statusGroup);
    group->addWidget(groupSeparator1);
    m_outline.append(groupSeparator1);

    m_awayMode = new AwayModeSwitch(m_statusGroup);
    connect(m_awayMode, &AwayModeSwitch::toggleRequested, this, [this](bool wanted) {
        // The switch never flips itself: it follows the relay's answer.
        runAction([wanted](RelayMonitor& monitor) { return monitor.setRemoteApprovals(wanted); });
    });
    group->addWidget(m_awayMode);
    m_outline.append(m_awayMode);

    auto* groupSeparator2 = new Separator(m_statusGroup);
    group->addWidget(groupSeparator2);
    m_outline.append(groupSeparator2);

    auto* windowRows = new QVBoxLayout;
    windowRows->setSpacing(Spacing::hairline);
    const struct {
        const char* title;
        const char* symbol;
        const char* window;
    } windows[] = {
        {"Pair a Phone\u2026", "qrcode", "pair"},
        {"Paired Phones\u2026", "iphone", "tokens"},
        {"Set Up Hooks\u2026", "link", "hooks"},
    };
    for (const auto& entry : windows) {
        auto* row =
            new MenuRow(QString::fromUtf8(entry.title), QString::fromLatin1(entry.symbol), std::nullopt, m_statusGroup);
        const QString id = QString::fromLatin1(entry.window);
        connect(row, &QAbstractButton::clicked, this, [this, id] {
            if (m_environment.openWindow) {
                m_environment.openWindow(id);
            }
        });
        windowRows->addWidget(row);
        m_outline.append(row);
    }
    group->addLayout(windowRows);

    auto* groupSeparator3 = new Separator(m_statusGroup);
    group->addWidget(groupSeparator3);
    m_outline.append(groupSeparator3);

    // The relay controls, in both states.
    auto* controls = new QVBoxLayout;
    controls->setSpacing(Spacing::hairline);
    m_startRow = new MenuRow(QStringLiteral("Start Relay"), QStringLiteral("play.fill"), std::nullopt, this);
    m_pollError = new QLabel(this);
    m_pollError->setFont(Typography::metaSmall());
    m_pollError->setTextFormat(Qt::PlainText);
    m_pollError->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    m_pollError->setContentsMargins(MenuRow::horizontalInset, 0, MenuRow::horizontalInset, 0);
    m_updateRow = new MenuRow(QStringLiteral("Update Relay"), QStringLiteral("arrow.down.circle"), std::nullopt, this);
    m_useThisRow = new MenuRow(QStringLiteral("Use This App\u2019s Relay"),
                               QStringLiteral("arrow.triangle.2.circlepath"), QString(), this);
    m_restartRow = new MenuRow(QStringLiteral("Restart Relay"), QStringLiteral("arrow.clockwise"), std::nullopt, this);
    m_stopRow = new MenuRow(QStringLiteral("Stop Relay"), QStringLiteral("stop.fill"), std::nullopt, this);
    m_openLogRow = new MenuRow(QStringLiteral("Open Log"), QStringLiteral("doc.text"), std::nullopt, this);
    for (QWidget* widget :
         {static_cast<QWidget*>(m_startRow), static_cast<QWidget*>(m_pollError), static_cast<QWidget*>(m_updateRow),
          static_cast<QWidget*>(m_useThisRow), static_cast<QWidget*>(m_restartRow), static_cast<QWidget*>(m_stopRow),
          static_cast<QWidget*>(m_openLogRow)}) {
        controls->addWidget(widget);
        m_outline.append(widget);
    }
    column->addLayout(controls);

    connect(m_startRow, &QAbstractButton::clicked, this,
            [this] { runAction([](RelayMonitor& monitor) { return monitor.start(); }); });
    connect(m_updateRow, &QAbstractButton::clicked, this,
            [this] { runAction([](RelayMonitor& monitor) { return monitor.start(); }); });
    connect(m_useThisRow, &QAbstractButton::clicked, this,
            [this] { runAction([](RelayMonitor& monitor) { return monitor.start(); }); });
    connect(m_restartRow, &QAbstractButton::clicked, this,
            [this] { runAction([](RelayMonitor& monitor) { return monitor.restart(); }); });
    connect(m_stopRow, &QAbstractButton::clicked, this,
            [this] { runAction([](RelayMonitor& monitor) { return monitor.stop(); }); });
    connect(m_openLogRow, &QAbstractButton::clicked, this, [this] {
        // Whether the desktop managed to open it is not reported.
        if (m_environment.openUrl && m_environment.monitor) {
            m_environment.openUrl(QUrl::fromLocalFile(m_environment.monitor->logFile()));
        }
    });

    column->addWidget(separator());

    m_loginToggle = new QCheckBox(QStringLiteral("Open at Login"), this);
    column->addWidget(m_loginToggle);
    m_outline.append(m_loginToggle);
    m_startsAtLogin = m_environment.loginItem && m_environment.loginItem->status() == LoginItem::Status::enabled;
    m_loginToggle->setChecked(m_startsAtLogin);
    connect(m_loginToggle, &QCheckBox::toggled, this, &RelayMenu::applyLoginItem);

    m_quitRow = new MenuRow(QStringLiteral("Quit Vesperline Relay"), QStringLiteral("power"), std::nullopt, this);
    connect(m_quitRow, &QAbstractButton::clicked, this, [this] {
        if (m_environment.quit) {
            m_environment.quit();
        }
    });
    column->addWidget(m_quitRow);
    m_outline.append(m_quitRow);

    if (RelayMonitor* monitor = m_environment.monitor) {
        connect(monitor, &RelayMonitor::statusChanged, this, &RelayMenu::render);
        connect(monitor, &RelayMonitor::lastErrorChanged, this, &RelayMenu::render);
        connect(monitor, &RelayMonitor::actionErrorChanged, this, &RelayMenu::render);
        connect(monitor, &RelayMonitor::installationChanged, this, &RelayMenu::render);
    }
    render();
}

RelayMenu::~RelayMenu() = default;

void RelayMenu::buildHeader(QVBoxLayout* column)
{
    auto* header = new QHBoxLayout;
    auto* moon = new QLabel(this);
    const int side = QFontMetrics(Typography::headline()).height() + 4;
    moon->setPixmap(SymbolCatalogue::pixmap(QStringLiteral("moon.stars.fill"), side,
                                            palette().color(QPalette::Highlight), devicePixelRatioF()));
    moon->setFixedSize(side, side);
    header->addWidget(moon, 0, Qt::AlignVCenter);

    auto* texts = new QVBoxLayout;
    texts->setSpacing(Spacing::hairline);
    auto* title = new QLabel(QStringLiteral("Vesperline Relay"), this);
    title->setFont(Typography::headline());
    m_statusLine = new QLabel(this);
    m_statusLine->setFont(Typography::meta());
    texts->addWidget(title);
    texts->addWidget(m_statusLine);
    header->addLayout(texts);
    header->addStretch(1);

    m_dot = new StatusDot(this);
    header->addWidget(m_dot, 0, Qt::AlignVCenter);
    column->addLayout(header);
    m_outline.append(title);
    m_outline.append(m_statusLine);
}

QWidget* RelayMenu::separator()
{
    auto* line = new Separator(this);
    m_outline.append(line);
    return line;
}

QColor RelayMenu::statusDotColor() const
{
    return m_dot->color();
}

void RelayMenu::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // Tints resolve against the palette: a theme switch needs them again.
    if (event->type() == QEvent::PaletteChange && m_statusLine) {
        render();
    }
}

QString RelayMenu::statusLine() const
{
    const RelayMonitor* monitor = m_environment.monitor;
    if (!monitor || !monitor->status()) {
        return QStringLiteral("Not running");
    }
    const Status& status = *monitor->status();
    const QString separator = QStringLiteral(" \u00B7 ");
    const QString tls = status.tlsFingerprint ? QStringLiteral("TLS") : QStringLiteral("no TLS");
    const QString push = status.pushConfigured ? QStringLiteral("push on") : QStringLiteral("push off");
    const qsizetype count = status.tokens.size();
    const QString connections =
        count == 1 ? QStringLiteral("1 connection") : QString::number(count) + QStringLiteral(" connections");
    return QStringLiteral("Running") + separator + tls + separator + push + separator + connections;
}

void RelayMenu::render()
{
    const RelayMonitor* monitor = m_environment.monitor;
    const bool running = monitor && monitor->status().has_value();

    m_statusLine->setText(statusLine());
    setForeground(m_statusLine, FillStyle::secondary().brush(this).color());
    m_dot->setRunning(running);
    m_dot->update();

    const std::optional<QString> actionError = monitor ? monitor->actionError() : std::nullopt;
    m_actionError->setVisible(actionError.has_value());
    m_actionError->setText(actionError.value_or(QString()));
    setForeground(m_actionError, tint(SessionStatus::failed).resolved(this));

    m_statusGroup->setVisible(running);
    if (running) {
        renderSessions();
        m_awayMode->setOn(monitor->status()->remoteApprovals);
    }
    renderControls();
    adjustSize();
    emit contentChanged();
}

void RelayMenu::renderSessions()
{
    const QList<AgentSession> sessions = m_environment.monitor->sessions();
    m_noSessions->setVisible(sessions.isEmpty());
    setForeground(m_noSessions, FillStyle::secondary().brush(this).color());
    m_sessionScroll->setVisible(!sessions.isEmpty());

    // Lines are kept per session id, so a status change pulses the existing
    // indicator instead of drawing a new one.
    QMultiHash<QString, SessionLine*> kept;
    for (qsizetype i = 0; i < sessions.size(); ++i) {
        const AgentSession& session = sessions.at(i);
        SessionLine* line = nullptr;
        if (auto it = m_lines.find(session.id); it != m_lines.end()) {
            line = it.value();
            m_lines.erase(it);
            line->setSession(session);
        } else {
            line = new SessionLine(session, m_sessionContainer);
        }
        kept.insert(session.id, line);
        m_sessionLayout->removeWidget(line);
        m_sessionLayout->insertWidget(static_cast<int>(i), line);
        line->show();
    }
    for (SessionLine* gone : std::as_const(m_lines)) {
        gone->hide();
        gone->deleteLater();
    }
    m_lines = kept;

    m_sessionContainer->adjustSize();
    const int contentHeight = m_sessionLayout->sizeHint().height();
    m_sessionScroll->setFixedHeight(std::min(contentHeight, sessionListMaxHeight));
}

void RelayMenu::renderControls()
{
    const RelayMonitor* monitor = m_environment.monitor;
    const bool running = monitor && monitor->status().has_value();

    m_startRow->setVisible(!running);
    const std::optional<QString> pollError = monitor ? monitor->lastError() : std::nullopt;
    m_pollError->setVisible(!running && pollError.has_value());
    if (!running && pollError) {
        const int width = panelWidth - 2 * Spacing::m - 2 * MenuRow::horizontalInset;
        m_pollError->setText(elideToLines(*pollError, Typography::metaSmall(), width, 2));
        m_pollError->setToolTip(*pollError);
        setForeground(m_pollError, FillStyle::secondary().brush(this).color());
    }

    bool showUpdate = false;
    bool showUseThis = false;
    if (running) {
        // As the monitor read it at its last poll or action.
        const InstallationState& installation = monitor->installation();
        if (installation.usesThisAppsRelay && installation.needsUpdate) {
            showUpdate = true;
        } else if (!installation.usesThisAppsRelay) {
            showUseThis = true;
            m_useThisRow->setCaption(QStringLiteral("Now running ")
                                     + installation.installedRelayPath.value_or(QStringLiteral("from elsewhere")));
        }
    }
    m_updateRow->setVisible(showUpdate);
    m_useThisRow->setVisible(showUseThis);
    m_restartRow->setVisible(running);
    m_stopRow->setVisible(running);
}

void RelayMenu::runAction(const std::function<QCoro::Task<>(RelayMonitor&)>& action)
{
    if (RelayMonitor* monitor = m_environment.monitor) {
        // Started, not awaited: the monitor reports the outcome.
        action(*monitor);
    }
}

void RelayMenu::applyLoginItem(bool wanted)
{
    LoginItem* item = m_environment.loginItem;
    if (!item) {
        return;
    }
    try {
        if (wanted) {
            item->registerItem();
        } else {
            item->unregisterItem();
        }
    } catch (const Error& error) {
        if (m_environment.monitor) {
            m_environment.monitor->setActionError(error.description());
        }
    }
    m_startsAtLogin = item->status() == LoginItem::Status::enabled;
    if (m_startsAtLogin != m_loginToggle->isChecked()) {
        // Spring back to the real state; the change runs this handler again.
        m_loginToggle->setChecked(m_startsAtLogin);
    }
}

QList<SessionLine*> RelayMenu::sessionLines() const
{
    QList<SessionLine*> lines;
    for (int i = 0; i < m_sessionLayout->count(); ++i) {
        if (auto* line = qobject_cast<SessionLine*>(m_sessionLayout->itemAt(i)->widget())) {
            lines.append(line);
        }
    }
    return lines;
}

MenuRow* RelayMenu::row(const QString& title) const
{
    for (MenuRow* row : findChildren<MenuRow*>()) {
        if (row->title() == title) {
            return row;
        }
    }
    return nullptr;
}

QStringList RelayMenu::visibleOutline() const
{
    QStringList outline;
    for (QWidget* widget : m_outline) {
        if (!widget->isVisibleTo(this)) {
            continue;
        }
        if (dynamic_cast<Separator*>(widget)) {
            outline.append(QStringLiteral("separator"));
        } else if (widget == m_sessionScroll) {
            outline.append(QStringLiteral("sessions"));
        } else if (auto* row = qobject_cast<MenuRow*>(widget)) {
            outline.append(row->title());
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            outline.append(label->text());
        } else if (auto* toggle = qobject_cast<QCheckBox*>(widget)) {
            outline.append(toggle->text());
        } else if (auto* away = qobject_cast<AwayModeSwitch*>(widget)) {
            outline.append(away->text());
        }
    }
    return outline;
}

} // namespace vesperline
