#include "menu_fixture.h"

#include "menu/hooks_view.h"
#include "menu/pair_view.h"
#include "menu/qr_image.h"
#include "menu/tokens_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QJsonDocument>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>

#include <qcoro/qcorotask.h>

using namespace vesperline;
using namespace vesperline::menutest;

namespace {

// Reads a QR image back with zbarimg, as a phone's camera would.
std::optional<QString> decodeQr(const QImage& image)
{
    if (QStandardPaths::findExecutable(QStringLiteral("zbarimg")).isEmpty()) {
        return std::nullopt;
    }
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("qr.png"));
    // A scanner wants a quiet zone and more than one pixel per module.
    image.scaled(image.width() * 8, image.height() * 8, Qt::IgnoreAspectRatio, Qt::FastTransformation).save(path);
    QProcess zbar;
    zbar.start(QStringLiteral("zbarimg"), {QStringLiteral("--raw"), QStringLiteral("-q"), path});
    if (!zbar.waitForFinished(30000) || zbar.exitCode() != 0) {
        return std::nullopt;
    }
    return QString::fromUtf8(zbar.readAllStandardOutput()).trimmed();
}

// Paired tokens as the relay lists them, from JSON text.
QJsonArray tokens(const QByteArray& json)
{
    return QJsonDocument::fromJson(json).array();
}

// A label of the window's that is visible and reads `text`.
bool showsLabel(const QWidget& window, const QString& text)
{
    const QList<QLabel*> labels = window.findChildren<QLabel*>();
    return std::any_of(labels.cbegin(), labels.cend(),
                       [&](const QLabel* label) { return label->isVisibleTo(&window) && label->text() == text; });
}

} // namespace

TEST(PairViewTest, RelayUrlIsTheFirstUrlItemOrTheWholeLink)
{
    EXPECT_EQ(PairView::relayUrl(QStringLiteral("idlewyn://pair?url=https%3A%2F%2F10.0.0.2%3A8787&code=A")),
              QStringLiteral("https://10.0.0.2:8787"));
    EXPECT_EQ(PairView::relayUrl(QStringLiteral("idlewyn://pair?url=http%3A%2F%2Fa&url=http%3A%2F%2Fb")),
              QStringLiteral("http://a"));
    EXPECT_EQ(PairView::relayUrl(QStringLiteral("idlewyn://pair")), QStringLiteral("idlewyn://pair"));
    EXPECT_EQ(PairView::relayUrl(QStringLiteral("idlewyn://pair?url&code=1")),
              QStringLiteral("idlewyn://pair?url&code=1"));
    EXPECT_EQ(PairView::relayUrl(QStringLiteral("not a url at all")), QStringLiteral("not a url at all"));
}

TEST(PairViewTest, ShowsAScannableCodeWhileTheRelayRunsAndThePlaceholderOtherwise)
{
    MenuFixture fixture;
    PairView view(fixture.environment());
    EXPECT_FALSE(view.showsPairing()) << "nothing to pair with before the first poll";
    ASSERT_TRUE(fixture.waitForStatus());
    ASSERT_TRUE(view.showsPairing());
    EXPECT_EQ(view.shownRelayUrl(), QStringLiteral("http://127.0.0.1:8787"));
    EXPECT_EQ(view.shownCode(), QStringLiteral("ABCD-EFGH"));

    if (const auto decoded = decodeQr(view.qrImage())) {
        EXPECT_EQ(*decoded, QStringLiteral("idlewyn://pair?url=http%3A%2F%2F127.0.0.1%3A8787&code=ABCD-EFGH"));
    } else {
        ADD_FAILURE() << "zbarimg could not read the code back";
    }

    fixture.relayDown();
    ASSERT_TRUE(waitUntil([&] { return !view.showsPairing(); }))
        << "a stopped relay turns the window into the placeholder";
}

TEST(PairViewTest, TooLongALinkGivesNoCode)
{
    EXPECT_FALSE(makeQrImage(QByteArray(5000, 'x')).has_value());
    EXPECT_TRUE(makeQrImage(QByteArray("idlewyn://pair?url=x&code=1")).has_value());
}

TEST(TokensViewTest, RowsSortByPairingTimeWithFallbackTextsAndGoWithTheRelay)
{
    const QByteArray hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600).toString(Qt::ISODate).toUtf8();
    MenuFixture fixture;
    fixture.serveStatus(statusJson({},
                                   tokens(QByteArray(R"([
        {"id": "b", "provider": "codex", "createdAt": "2026-03-02T10:00:00Z"},
        {"id": "a", "provider": "claude", "createdAt": "2026-03-01T10:00:00Z", "lastSeenAt": "HOUR_AGO"},
        {"id": "none"},
        {"id": "frac", "provider": "open ai", "createdAt": "2026-03-01T09:15:27.123Z"}])")
                                              .replace("HOUR_AGO", hourAgo))));
    TokensView view(fixture.environment());
    ASSERT_TRUE(fixture.waitForStatus());

    QTableWidget* table = view.table();
    ASSERT_EQ(table->rowCount(), 4);
    EXPECT_FALSE(view.showsEmptyState());
    const auto cell = [table](int row, int column) { return table->item(row, column)->text(); };
    EXPECT_EQ(cell(0, 0), QStringLiteral("none")) << "no pairing time sorts first";
    EXPECT_EQ(cell(0, 1), QStringLiteral("\u2014"));
    EXPECT_EQ(cell(0, 2), QStringLiteral("Unknown"));
    EXPECT_EQ(cell(0, 3), QStringLiteral("Not since relay start"));
    EXPECT_EQ(cell(1, 0), QStringLiteral("frac"));
    EXPECT_EQ(cell(1, 1), QStringLiteral("Open Ai"));
    EXPECT_EQ(cell(1, 2), QStringLiteral("Unknown")) << "fractional seconds are not this field's form";
    EXPECT_EQ(cell(2, 0), QStringLiteral("a"));
    EXPECT_EQ(cell(2, 1), QStringLiteral("Claude"));
    EXPECT_EQ(cell(2, 3), QStringLiteral("1 hour ago"));
    EXPECT_EQ(cell(3, 1), QStringLiteral("Codex"));

    fixture.relayDown();
    ASSERT_TRUE(waitUntil([&] { return view.showsEmptyState(); })) << "a stopped relay lists no phones";
    EXPECT_EQ(table->rowCount(), 0);
}

TEST(TokensViewTest, RevokeNeedsConfirmationAndRunsOnce)
{
    MenuFixture fixture;
    fixture.serveStatus(statusJson({}, tokens(R"([{"id": "a1", "createdAt": "2026-03-01T10:00:00Z"},
                                                  {"id": "b2", "createdAt": "2026-03-02T10:00:00Z"}])")));
    TokensView view(fixture.environment());
    view.show();
    ASSERT_TRUE(fixture.waitForStatus());

    qobject_cast<QPushButton*>(view.table()->cellWidget(1, 4))->click();
    ASSERT_TRUE(view.pendingRevoke());
    ASSERT_TRUE(view.confirmation());
    EXPECT_EQ(view.confirmation()->text(), QStringLiteral("Revoke b2?"));
    view.confirmation()->reject(); // Escape, or Cancel
    EXPECT_FALSE(view.pendingRevoke());

    qobject_cast<QPushButton*>(view.table()->cellWidget(0, 4))->click();
    QMessageBox* dialog = view.confirmation();
    ASSERT_TRUE(dialog);
    for (QAbstractButton* button : dialog->buttons()) {
        if (button->text() == QStringLiteral("Revoke")) {
            button->click();
        }
    }
    EXPECT_FALSE(view.pendingRevoke());
    ASSERT_TRUE(waitUntil([&] { return !fixture.bodiesSentTo("/v1/admin/tokens/revoke").isEmpty(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(fixture.bodiesSentTo("/v1/admin/tokens/revoke"), QList<QByteArray>{R"({"id":"a1"})"})
        << "exactly one revoke, for the confirmed row";
}

// The hooks window with the real relay: showing it runs the dry run, Return
// applies, and a window opened afterwards finds the hooks in place. Apply's
// failure is the model's, tested with the supervisor.
TEST(HooksViewTest, PreviewsAppliesOnReturnAndAFreshWindowSeesItDone)
{
    MenuFixture fixture;
    ASSERT_TRUE(fixture.monitor().installation().needsUpdate) << "nothing is installed yet";
    HooksView view(fixture.environment());
    const HooksModel& model = view.model();
    auto* report = view.findChild<QPlainTextEdit*>();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->toPlainText(), QStringLiteral("Checking\u2026"));
    EXPECT_FALSE(view.applyButton()->isEnabled());

    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    ASSERT_TRUE(waitUntil([&] { return model.preview().has_value() || model.error().has_value(); }));
    ASSERT_TRUE(model.preview()) << model.error().value_or(QString()).toStdString();
    EXPECT_TRUE(model.preview()->contains(QStringLiteral("(dry run)")));
    EXPECT_EQ(report->toPlainText(), *model.preview());
    EXPECT_EQ(model.statusText(), std::nullopt) << "changes to make: no label yet";
    EXPECT_TRUE(view.applyButton()->isEnabled());
    const QString settings = QDir::homePath() + QStringLiteral("/.claude/settings.json");
    EXPECT_FALSE(QFile::exists(settings)) << "a dry run changes nothing";
    EXPECT_FALSE(fixture.monitor().installation().needsUpdate) << "the command installed the relay files";

    QList<bool> workingAtEachChange;
    QObject::connect(&model, &HooksModel::changed, [&] { workingAtEachChange.append(model.isWorking()); });
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return model.result().has_value() || model.error().has_value(); }));
    ASSERT_TRUE(model.result()) << model.error().value_or(QString()).toStdString();
    EXPECT_EQ(workingAtEachChange, (QList<bool>{true, false}));
    EXPECT_EQ(report->toPlainText(), *model.result());
    EXPECT_FALSE(view.applyButton()->isEnabled());
    EXPECT_TRUE(showsLabel(view, QStringLiteral("Done. Restart running Claude Code and Codex sessions.")));
    EXPECT_TRUE(QFile::exists(settings));
    EXPECT_TRUE(fixture.services->calls.isEmpty()) << "a relay command leaves the service alone";

    HooksView reopened(fixture.environment());
    QCoro::waitFor(reopened.model().runPreview());
    EXPECT_TRUE(showsLabel(reopened, QStringLiteral("Already set up")));
    EXPECT_FALSE(reopened.applyButton()->isEnabled());
}

// The error's wording is the installer's, tested with the supervisor.
TEST(HooksViewTest, AFailedPreviewShowsItsErrorUnderTheReportAndKeepsChecking)
{
    MenuFixture fixture;
    fixture.pythonExecutable = QDir::homePath() + QStringLiteral("/no-python3");
    HooksView view(fixture.environment());
    QSignalSpy changes(&view.model(), &HooksModel::changed);
    QCoro::waitFor(view.model().runPreview());
    EXPECT_EQ(changes.count(), 1);
    ASSERT_TRUE(view.model().error());
    EXPECT_TRUE(showsLabel(view, *view.model().error()));
    EXPECT_EQ(view.findChild<QPlainTextEdit*>()->toPlainText(), QStringLiteral("Checking\u2026"));
    EXPECT_EQ(view.model().statusText(), std::nullopt);
    EXPECT_FALSE(view.applyButton()->isEnabled());
}
