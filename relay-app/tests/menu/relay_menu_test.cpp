#include "menu_fixture.h"

#include "menu/away_mode_switch.h"
#include "menu/menu_row.h"
#include "menu/relay_menu.h"
#include "menu/relay_panel.h"
#include "menu/session_line.h"

#include "design/palette.h"
#include "design/symbol_catalogue.h"
#include "design/task_progress_view.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QScrollArea>
#include <QTest>

using namespace vesperline;
using namespace vesperline::menutest;
using idlewyn::SessionStatus;

namespace {

QString isoAgo(int seconds)
{
    return QDateTime::currentDateTimeUtc().addSecs(-seconds).toString(Qt::ISODateWithMs);
}

// A session as the relay would list it.
QJsonObject sessionJson(const QString& id, const QString& status, const QString& updatedAt,
                        const QJsonObject& extra = {})
{
    QJsonObject session{{QStringLiteral("id"), id},
                        {QStringLiteral("provider"), QStringLiteral("claude")},
                        {QStringLiteral("title"), id},
                        {QStringLiteral("status"), status},
                        {QStringLiteral("startedAt"), QStringLiteral("2026-03-01T09:00:00.000Z")},
                        {QStringLiteral("updatedAt"), updatedAt}};
    for (auto it = extra.begin(); it != extra.end(); ++it) {
        session.insert(it.key(), it.value());
    }
    return session;
}

} // namespace

TEST(RelayMenuTest, RelayDownShowsStartThePollErrorAndNothingElseUnderAnActionsError)
{
    MenuFixture fixture;
    fixture.relayDown();
    RelayMenu menu(fixture.environment());
    ASSERT_TRUE(waitUntil([&] { return fixture.monitor().lastError().has_value(); }));
    menu.render();

    const QString pollError = *fixture.monitor().lastError();
    const QStringList outline = menu.visibleOutline();
    ASSERT_EQ(outline.size(), 9) << outline.join(u'|').toStdString();
    EXPECT_EQ(outline.mid(0, 4),
              (QStringList{QStringLiteral("Vesperline Relay"), QStringLiteral("Not running"),
                           QStringLiteral("separator"), QStringLiteral("Start Relay")}));
    EXPECT_TRUE(pollError.startsWith(outline[4].split(u'\n').first().remove(QChar(0x2026))))
        << outline[4].toStdString();
    EXPECT_EQ(outline.mid(5),
              (QStringList{QStringLiteral("Open Log"), QStringLiteral("separator"), QStringLiteral("Open at Login"),
                           QStringLiteral("Quit Vesperline Relay")}));
    EXPECT_EQ(menu.statusDotColor(), idlewyn::tint(SessionStatus::failed).resolved(&menu));

    fixture.monitor().setActionError(QStringLiteral("launchctl bootstrap failed: Input/output error"));
    EXPECT_EQ(
        menu.visibleOutline().mid(2, 2),
        (QStringList{QStringLiteral("launchctl bootstrap failed: Input/output error"), QStringLiteral("separator")}))
        << "an action's error stands first under the header";
}

TEST(RelayMenuTest, StatusLineTellsTlsPushAndPairedTokens)
{
    struct Case {
        QByteArray document;
        QString line;
    };
    const QJsonObject token{{QStringLiteral("id"), QStringLiteral("a1")}};
    const Case cases[] = {
        {statusJson({}, {token}, false, false),
         QStringLiteral("Running \u00B7 no TLS \u00B7 push off \u00B7 1 connection")},
        {statusJson({}, {}, true, true), QStringLiteral("Running \u00B7 TLS \u00B7 push on \u00B7 0 connections")},
    };
    for (const Case& c : cases) {
        MenuFixture fixture;
        fixture.serveStatus(c.document);
        RelayMenu menu(fixture.environment());
        ASSERT_TRUE(fixture.waitForStatus());
        EXPECT_EQ(menu.statusLine(), c.line);
        EXPECT_EQ(menu.statusDotColor(), idlewyn::tint(SessionStatus::finished).resolved(&menu));
    }
}

TEST(RelayMenuTest, RelayControlsFollowTheInstalledService)
{
    MenuFixture fixture;
    RelayMenu menu(fixture.environment());
    ASSERT_TRUE(fixture.waitForStatus());
    // The monitor reads the disk with each poll; the menu redraws from it.
    const auto poll = [&] { QCoro::waitFor(fixture.monitor().refresh()); };

    // No service definition while a relay answers: someone else runs it.
    MenuRow* useThis = menu.row(QStringLiteral("Use This App\u2019s Relay"));
    ASSERT_TRUE(useThis);
    EXPECT_TRUE(useThis->isVisibleTo(&menu));
    EXPECT_EQ(useThis->caption(), QStringLiteral("Now running from elsewhere"));

    fixture.services->installedPath = QStringLiteral("/home/other/.local/relay/relay.py");
    poll();
    EXPECT_EQ(useThis->caption(), QStringLiteral("Now running /home/other/.local/relay/relay.py"));

    // This application's relay with its files missing: update.
    const RelayInstaller installer = fixture.installer();
    fixture.services->installedPath = installer.relayScript();
    poll();
    MenuRow* update = menu.row(QStringLiteral("Update Relay"));
    EXPECT_TRUE(update->isVisibleTo(&menu));
    EXPECT_FALSE(useThis->isVisibleTo(&menu));

    // Current: neither row.
    installer.installFiles();
    poll();
    EXPECT_FALSE(useThis->isVisibleTo(&menu));
    EXPECT_FALSE(update->isVisibleTo(&menu));
}

TEST(RelayMenuTest, LongCaptionKeepsItsEnd)
{
    MenuRow row(
        QStringLiteral("Use This App\u2019s Relay"), QStringLiteral("arrow.triangle.2.circlepath"),
        QStringLiteral("Now running /home/someone/with/a/very/long/path/to/a/checkout/of/the/relay/bin/relay.py"));
    row.resize(RelayMenu::panelWidth - 24, row.sizeHint().height());
    const QString shown = row.displayedCaption();
    EXPECT_TRUE(shown.startsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("bin/relay.py")));
}

// Which session has a timer, an activity or a summary is the kit's rule;
// here, that a line shows what its session offers, in the monitor's order.
TEST(RelayMenuTest, SessionLinesShowTheActivityOrTheSummaryAndATimerOrTheStatusAndTheListStopsAt240)
{
    MenuFixture fixture;
    QJsonArray sessions{
        sessionJson(QStringLiteral("done"), QStringLiteral("finished"), isoAgo(300),
                    {{QStringLiteral("summary"), QStringLiteral("Fixed the login form")}}),
        sessionJson(QStringLiteral("working"), QStringLiteral("working"), isoAgo(5),
                    {{QStringLiteral("turnStartedAt"), isoAgo(65)},
                     {QStringLiteral("activity"), QStringLiteral("Bash: npm test")},
                     {QStringLiteral("summary"), QStringLiteral("not shown")},
                     {QStringLiteral("taskDone"), 2},
                     {QStringLiteral("taskTotal"), 5}}),
    };
    for (int i = 0; i < 18; ++i) { // older, so listed after those two, and more than fit
        sessions.append(sessionJson(QStringLiteral("s%1").arg(i), QStringLiteral("finished"), isoAgo(1000 + i)));
    }
    fixture.serveStatus(statusJson(sessions));
    RelayMenu menu(fixture.environment());
    ASSERT_TRUE(fixture.waitForStatus());
    EXPECT_EQ(menu.sessionList()->height(), RelayMenu::sessionListMaxHeight);

    const QList<SessionLine*> lines = menu.sessionLines();
    ASSERT_EQ(lines.size(), 20);
    const SessionLine* working = lines[0];
    ASSERT_EQ(working->session().id, QStringLiteral("working")) << "a working session sorts first";
    EXPECT_TRUE(working->showsActivity());
    EXPECT_EQ(working->secondLineText(), QStringLiteral("Bash: npm test")) << "activity wins over the summary";
    EXPECT_TRUE(working->trailingText().startsWith(QStringLiteral("1:0"))) << working->trailingText().toStdString();
    ASSERT_TRUE(working->showsTaskProgress());
    EXPECT_EQ(working->taskProgress()->text(), QStringLiteral("2/5"));
    EXPECT_EQ(working->taskProgress()->tint().resolved(working),
              idlewyn::tint(SessionStatus::working).resolved(working));

    const SessionLine* done = lines[1];
    EXPECT_EQ(done->secondLineText(), QStringLiteral("Fixed the login form"));
    EXPECT_EQ(done->trailingText(), QStringLiteral("Finished"));
    EXPECT_EQ(done->statusLabel()->palette().color(QPalette::WindowText),
              idlewyn::tint(SessionStatus::finished).resolved(done));
}

TEST(RelayMenuTest, AwayModeSwitchAsksTheRelayAndFollowsItsAnswer)
{
    MenuFixture fixture;
    RelayMenu menu(fixture.environment());
    menu.show();
    ASSERT_TRUE(fixture.waitForStatus());
    AwayModeSwitch* away = menu.awayModeSwitch();
    EXPECT_FALSE(away->isOn());

    QTest::mouseClick(away, Qt::LeftButton);
    EXPECT_FALSE(away->isOn()) << "flipping changes nothing locally";
    ASSERT_TRUE(waitUntil([&] { return !fixture.bodiesSentTo("/v1/admin/settings").isEmpty(); }));
    EXPECT_EQ(fixture.bodiesSentTo("/v1/admin/settings"), QList<QByteArray>{R"({"remoteApprovals":true})"});

    fixture.serveStatus(statusJson({}, {}, false, false, /*remoteApprovals=*/true));
    EXPECT_TRUE(waitUntil([&] { return away->isOn(); })) << "the switch moves once the relay reports it";
}

TEST(RelayMenuTest, RowsOpenWindowsTheLogRunTheMonitorsActionsAndQuit)
{
    MenuFixture fixture;
    fixture.services->installedPath = QStringLiteral("/elsewhere/relay.py");
    RelayMenu menu(fixture.environment());
    menu.show();
    ASSERT_TRUE(fixture.waitForStatus());
    QTest::mouseClick(menu.row(QStringLiteral("Pair a Phone\u2026")), Qt::LeftButton);
    QTest::mouseClick(menu.row(QStringLiteral("Paired Phones\u2026")), Qt::LeftButton);
    QTest::mouseClick(menu.row(QStringLiteral("Set Up Hooks\u2026")), Qt::LeftButton);
    EXPECT_EQ(fixture.openedWindows,
              (QStringList{QStringLiteral("pair"), QStringLiteral("tokens"), QStringLiteral("hooks")}));

    MenuRow* openLog = menu.row(QStringLiteral("Open Log"));
    openLog->setFocus();
    QTest::keyClick(openLog, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return !fixture.openedUrls.isEmpty(); })) << "rows answer the keyboard";
    EXPECT_EQ(fixture.openedUrls.first(),
              QUrl::fromLocalFile(QDir::homePath() + QStringLiteral("/.idlewyn-relay/relay.log")));

    QTest::mouseClick(menu.row(QStringLiteral("Restart Relay")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return fixture.services->calls.contains(QStringLiteral("restart")); }));
    QTest::mouseClick(menu.row(QStringLiteral("Stop Relay")), Qt::LeftButton);
    ASSERT_TRUE(waitUntil([&] { return fixture.services->calls.contains(QStringLiteral("stop")); }));

    QTest::mouseClick(menu.row(QStringLiteral("Quit Vesperline Relay")), Qt::LeftButton);
    EXPECT_EQ(fixture.quits, 1);

    // Rows ask for their glyphs by name, and a name the catalogue lacks draws nothing.
    for (const MenuRow* row : menu.findChildren<MenuRow*>()) {
        EXPECT_TRUE(idlewyn::SymbolCatalogue::contains(row->systemImage())) << row->systemImage().toStdString();
    }
}

// What opening the menu then does is the monitor's to test; here, that the panel tells it.
TEST(RelayMenuTest, ThePanelTellsTheMonitorWhenItIsOpen)
{
    MenuFixture fixture;
    AppEnvironment environment = fixture.environment();
    RelayPanel panel(environment, RelayPanel::Presentation::window);
    panel.show();
    EXPECT_TRUE(fixture.monitor().isMenuOpen());
    panel.hide();
    EXPECT_FALSE(fixture.monitor().isMenuOpen());
    EXPECT_EQ(fixture.quits, 0) << "hiding is not quitting";

    panel.show();
    panel.close();
    EXPECT_EQ(fixture.quits, 1) << "without a tray, closing the window is the way out";
}

TEST(RelayMenuTest, LoginToggleShowsAndSpringsBackToTheLoginItemsState)
{
    MenuFixture fixture;
    fixture.loginItem.afterRegister = LoginItem::Status::requiresApproval;
    RelayMenu menu(fixture.environment());
    EXPECT_FALSE(menu.loginToggle()->isChecked());

    menu.loginToggle()->click();
    EXPECT_FALSE(menu.loginToggle()->isChecked());
    EXPECT_FALSE(menu.startsAtLogin());
    EXPECT_EQ(fixture.loginItem.calls, (QStringList{QStringLiteral("register"), QStringLiteral("unregister")}))
        << "springing back runs the handler once more, for off";

    fixture.loginItem.calls.clear();
    fixture.loginItem.failure = QStringLiteral("Could not write the autostart entry.");
    menu.loginToggle()->click();
    EXPECT_FALSE(menu.loginToggle()->isChecked());
    EXPECT_EQ(fixture.monitor().actionError(), QStringLiteral("Could not write the autostart entry."));

    fixture.loginItem.failure.reset();
    fixture.loginItem.afterRegister = LoginItem::Status::enabled;
    menu.loginToggle()->click();
    EXPECT_TRUE(menu.loginToggle()->isChecked());
    EXPECT_TRUE(menu.startsAtLogin());

    fixture.loginItem.calls.clear();
    RelayMenu another(fixture.environment());
    EXPECT_TRUE(another.loginToggle()->isChecked());
    EXPECT_TRUE(fixture.loginItem.calls.isEmpty()) << "showing the state registers nothing";
}

TEST(MenuRowTest, DisabledRowsShowNoHoverAndTheWholeRowClicks)
{
    MenuRow row(QStringLiteral("Stop Relay"), QStringLiteral("stop.fill"));
    row.resize(300, row.sizeHint().height());
    row.show();
    int clicks = 0;
    QObject::connect(&row, &QAbstractButton::clicked, [&clicks] { ++clicks; });
    QTest::mouseClick(&row, Qt::LeftButton, {}, QPoint(row.width() - 3, row.height() / 2));
    EXPECT_EQ(clicks, 1) << "empty space at the row's end still counts";

    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(&row, &enter);
    EXPECT_TRUE(row.isHovered());
    row.setEnabled(false);
    EXPECT_FALSE(row.isHovered());
    QCoreApplication::sendEvent(&row, &enter);
    EXPECT_FALSE(row.isHovered()) << "a disabled row never shows the hover fill";
}
