#include "menu/elided_label.h"
#include "menu/login_item.h"
#include "menu/menu_bar_icon.h"
#include "menu/relay_panel.h"
#include "menu/single_instance.h"
#include "menu/text_elision.h"
#include "menu/window_manager.h"

#include "design/palette.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QUuid>

using namespace vesperline;
using idlewyn::SessionStatus;

namespace {

// The colours an icon draws with, ignoring transparency and anti-aliased edges.
QSet<QRgb> opaqueColours(const QIcon& icon)
{
    const QImage image = icon.pixmap(28, 28).toImage().convertToFormat(QImage::Format_ARGB32);
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) == 255) {
                colours.insert(pixel | 0xff000000);
            }
        }
    }
    return colours;
}

} // namespace

TEST(MenuBarIconTest, DownAndIdleAreTemplatesWorkingAndWaitingKeepTheirTint)
{
    QPalette light;
    light.setColor(QPalette::Window, Qt::white);
    const QColor foreground(20, 20, 20);

    for (IconState state : {IconState::down, IconState::idle}) {
        const QSet<QRgb> colours = opaqueColours(makeIcon(state, foreground, light));
        ASSERT_FALSE(colours.isEmpty());
        EXPECT_EQ(colours, QSet<QRgb>{foreground.rgb()}) << "a template icon is one colour, the tray's";
    }
    const QColor working = idlewyn::tint(SessionStatus::working).resolved(light);
    EXPECT_EQ(opaqueColours(makeIcon(IconState::working, foreground, light)), QSet<QRgb>{working.rgb()});
    const QColor waiting = idlewyn::tint(SessionStatus::waitingForInput).resolved(light);
    EXPECT_EQ(opaqueColours(makeIcon(IconState::needsInput, foreground, light)), QSet<QRgb>{waiting.rgb()});

    // A faint light halo lets the dark glyph read on a dark bar too.
    const QImage down =
        makeIcon(IconState::down, foreground, light).pixmap(24, 24).toImage().convertToFormat(QImage::Format_ARGB32);
    bool lightHalo = false;
    for (int y = 0; y < down.height() && !lightHalo; ++y) {
        for (int x = 0; x < down.width() && !lightHalo; ++x) {
            const QRgb pixel = down.pixel(x, y);
            lightHalo = qAlpha(pixel) > 0 && qAlpha(pixel) < 200 && qGray(pixel) > 200;
        }
    }
    EXPECT_TRUE(lightHalo);

    QPalette dark;
    dark.setColor(QPalette::Window, QColor(30, 30, 30));
    EXPECT_EQ(opaqueColours(makeIcon(IconState::needsInput, Qt::white, dark)),
              QSet<QRgb>{idlewyn::tint(SessionStatus::waitingForInput).resolved(dark).rgb()});
}

TEST(LoginItemTest, AutostartEntryStartsThisExecutableOnceTheDesktopIsUp)
{
    XdgAutostartLoginItem item(QStringLiteral("/opt/vesperline/bin/vesperline relay"));
    EXPECT_TRUE(item.entryPath().startsWith(QDir::homePath())) << item.entryPath().toStdString();
    QFile::remove(item.entryPath());
    EXPECT_EQ(item.status(), LoginItem::Status::notRegistered);

    item.registerItem();
    EXPECT_EQ(item.status(), LoginItem::Status::enabled);
    QFile entry(item.entryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QByteArray text = entry.readAll();
    entry.close();
    EXPECT_TRUE(text.contains("Exec=\"/opt/vesperline/bin/vesperline relay\"\n")) << text.constData();
    // The keys by which GNOME, MATE, Plasma and LXQt hold the start back
    // until their panel runs.
    for (const char* key : {"X-GNOME-Autostart-Delay=", "X-MATE-Autostart-Delay=", "X-KDE-autostart-phase=2\n",
                            "X-LXQt-Need-Tray=true\n", "Icon=io.zembrix.vesperline.relay\n"}) {
        EXPECT_TRUE(text.contains(key)) << key << " missing from\n" << text.constData();
    }
    EXPECT_FALSE(text.contains("X-GNOME-Autostart-Phase")) << "systemd's generator would skip the entry";
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(QStringLiteral("desktop-file-validate"), {item.entryPath()});
    if (validate.waitForStarted()) {
        ASSERT_TRUE(validate.waitForFinished());
        EXPECT_EQ(validate.exitCode(), 0) << validate.readAll().constData();
    }

    XdgAutostartLoginItem other(QStringLiteral("/usr/bin/another"));
    EXPECT_EQ(other.status(), LoginItem::Status::notRegistered) << "an entry for another program is not ours";

    ASSERT_TRUE(entry.open(QIODevice::Append));
    entry.write("Hidden=true\n");
    entry.close();
    EXPECT_EQ(item.status(), LoginItem::Status::notRegistered) << "a hidden entry counts as off";

    item.unregisterItem();
    EXPECT_FALSE(QFile::exists(item.entryPath()));
    EXPECT_NO_THROW(item.unregisterItem()) << "removing what is not there is no failure";
}

TEST(SingleInstanceTest, ASecondLaunchHandsOverToTheFirst)
{
    const QString name = QStringLiteral("vesperline-test-") + QUuid::createUuid().toString(QUuid::Id128);
    SingleInstance first(name);
    ASSERT_FALSE(QCoro::waitFor(first.handOverToRunningInstance())) << "nobody runs yet: this one becomes the primary";
    QSignalSpy activations(&first, &SingleInstance::activationRequested);

    SingleInstance second(name);
    // The hand-over runs the event loop, so the first may hear it before it ends.
    EXPECT_TRUE(QCoro::waitFor(second.handOverToRunningInstance()));
    EXPECT_TRUE(QTest::qWaitFor([&] { return activations.count() >= 1; }, 5000));
    EXPECT_EQ(activations.count(), 1);
}

TEST(PanelPlacementTest, HangsUnderATopIconAndAboveABottomOneInsideTheScreen)
{
    const QRect screen(0, 0, 1920, 1080);
    const QSize panel(340, 400);
    EXPECT_EQ(RelayPanel::placement(panel, QRect(1000, 0, 24, 24), screen),
              QPoint(QRect(1000, 0, 24, 24).center().x() - 170, 28));
    EXPECT_EQ(RelayPanel::placement(panel, QRect(1000, 1056, 24, 24), screen),
              QPoint(QRect(1000, 0, 24, 24).center().x() - 170, 1056 - 4 - 400));
    EXPECT_EQ(RelayPanel::placement(panel, QRect(1900, 0, 20, 20), screen).x(), 1920 - 340) << "kept on screen";
}

TEST(WindowManagerTest, OneWindowPerIdBroughtForwardWhenOpenedAgain)
{
    WindowManager windows;
    int made = 0;
    windows.registerWindow(QStringLiteral("tokens"), [&made] {
        ++made;
        auto* window = new QWidget;
        window->setWindowTitle(QStringLiteral("Paired Phones"));
        return window;
    });
    QWidget* first = windows.open(QStringLiteral("tokens"));
    QWidget* second = windows.open(QStringLiteral("tokens"));
    EXPECT_EQ(first, second);
    EXPECT_EQ(made, 1);
    EXPECT_EQ(windows.open(QStringLiteral("unknown")), nullptr);

    first->close(); // closing drops it: the next opening starts afresh
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    windows.open(QStringLiteral("tokens"));
    EXPECT_EQ(made, 2);
}

TEST(TextElisionTest, TwoLinesAtMostWithAnEllipsis)
{
    const QFont font;
    const QString longText = QString(QStringLiteral("Connection refused while talking to the relay ")).repeated(6);
    const QString shown = elideToLines(longText, font, 200, 2);
    EXPECT_EQ(shown.count(u'\n'), 1);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    for (const QString& line : shown.split(u'\n')) {
        EXPECT_LE(QFontMetrics(font).horizontalAdvance(line), 200);
    }
    EXPECT_EQ(elideToLines(QStringLiteral("short"), font, 200, 2), QStringLiteral("short"));
}

TEST(ElidedLabelTest, FitsAtItsHintAndShortensBelowIt)
{
    for (const char* text : {"api", "infra", "checkout-service", "vesperline"}) {
        vesperline::ElidedLabel label;
        label.show();
        label.setFullText(QString::fromLatin1(text));
        label.resize(label.sizeHint());
        EXPECT_EQ(label.text(), QString::fromLatin1(text)) << "a text given its own width is shown whole";
        label.resize(label.sizeHint().width() / 2, label.height());
        EXPECT_NE(label.text(), QString::fromLatin1(text)) << "half the room shortens it";
    }
}
