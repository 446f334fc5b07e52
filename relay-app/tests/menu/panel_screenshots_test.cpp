// Renders the panel in its main states, in a light and a dark palette, into
// <build>/menu-gallery/ so a person can look at what the menu shows.
#include "menu_fixture.h"

#include "menu/hooks_view.h"
#include "menu/pair_view.h"
#include "menu/relay_menu.h"
#include "menu/relay_panel.h"
#include "menu/tokens_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QJsonArray>
#include <QStyle>
#include <QStyleFactory>

using namespace vesperline;
using namespace vesperline::menutest;

namespace {

QString isoAgo(int seconds)
{
    return QDateTime::currentDateTimeUtc().addSecs(-seconds).toString(Qt::ISODateWithMs);
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(0x26, 0x27, 0x2b));
    palette.setColor(QPalette::WindowText, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Base, QColor(0x1e, 0x1f, 0x22));
    palette.setColor(QPalette::Text, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Button, QColor(0x33, 0x34, 0x38));
    palette.setColor(QPalette::ButtonText, QColor(0xee, 0xee, 0xee));
    palette.setColor(QPalette::Highlight, QColor(0x3d, 0x8b, 0xff));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    return palette;
}

QJsonArray sampleSessions()
{
    return {
        sessionJson(QStringLiteral("a"), QStringLiteral("waitingForInput"), isoAgo(40),
                    {{QStringLiteral("workingDirectory"), QStringLiteral("/home/dev/checkout-service")},
                     {QStringLiteral("summary"), QStringLiteral("Allow Bash: rm -rf node_modules?")},
                     {QStringLiteral("taskDone"), 3},
                     {QStringLiteral("taskTotal"), 5}}),
        sessionJson(QStringLiteral("b"), QStringLiteral("working"), isoAgo(3),
                    {{QStringLiteral("workingDirectory"), QStringLiteral("/home/dev/vesperline")},
                     {QStringLiteral("turnStartedAt"), isoAgo(754)},
                     {QStringLiteral("activity"),
                      QStringLiteral("Bash: ctest --preset dev --output-on-failure -R relay_client")},
                     {QStringLiteral("taskDone"), 1},
                     {QStringLiteral("taskTotal"), 4}}),
        sessionJson(QStringLiteral("c"), QStringLiteral("failed"), isoAgo(600),
                    {{QStringLiteral("workingDirectory"), QStringLiteral("/srv/infra")},
                     {QStringLiteral("provider"), QStringLiteral("codex")},
                     {QStringLiteral("summary"), QStringLiteral("API error: rate limited")}}),
        sessionJson(QStringLiteral("d"), QStringLiteral("finished"), isoAgo(3700),
                    {{QStringLiteral("workingDirectory"), QStringLiteral("/home/dev/api")},
                     {QStringLiteral("summary"), QStringLiteral("Refactored the auth middleware and added tests.")}}),
    };
}

void save(QWidget& widget, const QString& name)
{
    const QString directory = QStringLiteral(VESPERLINE_BINARY_DIR) + QStringLiteral("/menu-gallery");
    QDir().mkpath(directory);
    widget.adjustSize();
    const QImage image = widget.grab().toImage();
    ASSERT_FALSE(image.isNull());
    EXPECT_TRUE(image.save(directory + u'/' + name + QStringLiteral(".png")));
}

void shoot(const QString& name, const std::function<void(MenuFixture&)>& prepare)
{
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
        MenuFixture fixture;
        prepare(fixture);
        RelayPanel panel(fixture.environment(), RelayPanel::Presentation::popup);
        panel.show();
        if (name == QStringLiteral("down")) {
            ASSERT_TRUE(fixture.waitForError());
        } else {
            ASSERT_TRUE(fixture.waitForStatus());
        }
        panel.menu()->render();
        save(panel, name + (dark ? QStringLiteral("-dark") : QStringLiteral("-light")));
        panel.hide();
    }
    QApplication::setPalette(QApplication::style()->standardPalette());
}

} // namespace

TEST(PanelScreenshotsTest, DownRunningEmptyAndWithSessions)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    shoot(QStringLiteral("down"), [](MenuFixture& fixture) { fixture.relayDown(); });
    shoot(QStringLiteral("empty"), [](MenuFixture& fixture) {
        fixture.serveStatus(statusJson({}, {QJsonObject{{QStringLiteral("id"), QStringLiteral("a1")}}}, true, false));
    });
    shoot(QStringLiteral("sessions"), [](MenuFixture& fixture) {
        fixture.services->installedPath = QStringLiteral("/home/dev/.local/share/old-relay/relay.py");
        fixture.serveStatus(statusJson(sampleSessions(),
                                       {QJsonObject{{QStringLiteral("id"), QStringLiteral("a1")}},
                                        QJsonObject{{QStringLiteral("id"), QStringLiteral("b2")}}},
                                       true, false, true));
    });
}

TEST(PanelScreenshotsTest, PairingPairedPhonesAndHooksWindows)
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    MenuFixture fixture;
    const QString hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600).toString(Qt::ISODate);
    const QString dayAgo = QDateTime::currentDateTimeUtc().addDays(-1).toString(Qt::ISODate);
    fixture.serveStatus(statusJson({},
                                   {QJsonObject{{QStringLiteral("id"), QStringLiteral("3f9a01c2")},
                                                {QStringLiteral("provider"), QStringLiteral("claude")},
                                                {QStringLiteral("createdAt"), dayAgo},
                                                {QStringLiteral("lastSeenAt"), hourAgo}},
                                    QJsonObject{{QStringLiteral("id"), QStringLiteral("b71e44d0")},
                                                {QStringLiteral("provider"), QStringLiteral("codex")},
                                                {QStringLiteral("createdAt"), dayAgo}}},
                                   true));
    AppEnvironment environment = fixture.environment();
    ASSERT_TRUE(fixture.waitForStatus());

    PairView pair(environment);
    pair.show();
    save(pair, QStringLiteral("window-pair"));
    TokensView tokens(environment);
    tokens.resize(620, 300);
    tokens.show();
    QCoreApplication::processEvents();
    const QString directory = QStringLiteral(VESPERLINE_BINARY_DIR) + QStringLiteral("/menu-gallery");
    EXPECT_TRUE(tokens.grab().save(directory + QStringLiteral("/window-tokens.png")));
    HooksView hooks(environment);
    hooks.show();
    ASSERT_TRUE(waitUntil([&] { return hooks.model().preview().has_value() || hooks.model().error().has_value(); }));
    QCoreApplication::processEvents();
    save(hooks, QStringLiteral("window-hooks"));
}
