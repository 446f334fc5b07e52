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

QJsonObject token(const QString& id, const QJsonValue& provider, const QJsonValue& createdAt,
                  const QJsonValue& lastSeenAt = QJsonValue::Undefined)
{
    QJsonObject object{{QStringLiteral("id"), id}};
    if (!provider.isUndefined()) {
        object.insert(QStringLiteral("provider"), provider);
    }
    if (!createdAt.isUndefined()) {
        object.insert(QStringLiteral("createdAt"), createdAt);
    }
    if (!lastSeenAt.isUndefined()) {
        object.insert(QStringLiteral("lastSeenAt"), lastSeenAt);
    }
    return object;
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

    const QImage qr = view.qrImage();
    ASSERT_FALSE(qr.isNull());
    // One pixel per module: a version-2+ code of a short link is 25+4 pixels wide, not hundreds.
    EXPECT_LT(qr.width(), 80);
    for (int x = 0; x < qr.width(); ++x) {
        const int gray = qGray(qr.pixel(x, qr.height() / 2));
        EXPECT_TRUE(gray == 0 || gray == 255) << "modules stay pure black and white";
    }
    if (const auto decoded = decodeQr(qr)) {
        EXPECT_EQ(*decoded, QStringLiteral("idlewyn://pair?url=http%3A%2F%2F127.0.0.1%3A8787&code=ABCD-EFGH"));
    } else {
        ADD_FAILURE() << "zbarimg could not read the code back";
    }

    fixture.relayDown();
    ASSERT_TRUE(waitUntil([&] { return !view.showsPairing(); }))
        << "a stopped relay turns the window into the placeholder";
    fixture.serveStatus(statusJson());
    QFile(fixture.supportDirectory + QStringLiteral("/relay-url")).remove();
}

TEST(PairViewTest, TooLongALinkGivesNoCode)
{
    EXPECT_FALSE(makeQrImage(QByteArray(5000, 'x')).has_value());
    EXPECT_TRUE(makeQrImage(QByteArray("idlewyn://pair?url=x&code=1")).has_value());
}

TEST(TokensViewTest, RowsSortByPairingTimeWithFallbackTexts)
{
    const QString hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600).toString(Qt::ISODate);
    MenuFixture fixture;
    fixture.serveStatus(statusJson(
        {},
        {token(QStringLiteral("b"), QStringLiteral("codex"), QStringLiteral("2026-03-02T10:00:00Z")),
         token(QStringLiteral("a"), QStringLiteral("claude"), QStringLiteral("2026-03-01T10:00:00Z"), hourAgo),
         token(QStringLiteral("none"), QJsonValue::Undefined, QJsonValue::Undefined),
         token(QStringLiteral("frac"), QStringLiteral("open ai"), QStringLiteral("2026-03-01T09:15:27.123Z"))}));
    TokensView view(fixture.environment());
    ASSERT_TRUE(fixture.waitForStatus());
    view.render();

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
}

TEST(TokensViewTest, RelayDownShowsTheEmptyState)
{
    MenuFixture fixture;
    fixture.relayDown();
    TokensView view(fixture.environment());
    ASSERT_TRUE(fixture.waitForError());
    EXPECT_EQ(view.table()->rowCount(), 0);
    EXPECT_TRUE(view.showsEmptyState());
}

TEST(TokensViewTest, RevokeNeedsConfirmationAndRunsOnce)
{
    MenuFixture fixture;
    fixture.serveStatus(
        statusJson({},
                   {token(QStringLiteral("a1"), QStringLiteral("claude"), QStringLiteral("2026-03-01T10:00:00Z")),
                    token(QStringLiteral("b2"), QStringLiteral("codex"), QStringLiteral("2026-03-02T10:00:00Z"))}));
    TokensView view(fixture.environment());
    view.show();
    ASSERT_TRUE(fixture.waitForStatus());
    const auto revokeRequests = [&fixture] { return fixture.bodiesSentTo("/v1/admin/tokens/revoke"); };

    qobject_cast<QPushButton*>(view.table()->cellWidget(1, 4))->click();
    ASSERT_TRUE(view.pendingRevoke());
    EXPECT_EQ(view.pendingRevoke()->id, QStringLiteral("b2"));
    ASSERT_TRUE(view.confirmation());
    EXPECT_EQ(view.confirmation()->text(), QStringLiteral("Revoke b2?"));
    EXPECT_EQ(view.confirmation()->informativeText(),
              QStringLiteral("That phone stops receiving sessions until it pairs again."));
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
    ASSERT_TRUE(waitUntil([&] { return !revokeRequests().isEmpty(); }));
    QCoreApplication::processEvents();
    const auto bodies = revokeRequests();
    ASSERT_EQ(bodies.size(), 1) << "exactly one revoke, for the confirmed row";
    EXPECT_EQ(QJsonDocument::fromJson(bodies.first()).object().value(QStringLiteral("id")).toString(),
              QStringLiteral("a1"));
}

// The state machine is the HooksModel's (tested with the supervisor); here
// the window draws it and Return applies.
TEST(HooksViewTest, DrawsThePreviewAndAppliesOnReturnWithTheRealRelay)
{
    MenuFixture fixture;
    HooksView view(fixture.environment());
    const HooksModel& model = view.model();
    auto* report = view.findChild<QPlainTextEdit*>();
    ASSERT_TRUE(report);
    EXPECT_EQ(report->toPlainText(), QStringLiteral("Checking\u2026"));
    EXPECT_FALSE(view.applyButton()->isEnabled());

    // Showing the window runs the preview.
    view.show();
    QApplication::setActiveWindow(&view);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&view));
    ASSERT_TRUE(waitUntil([&] { return model.preview().has_value() || model.error().has_value(); }));
    ASSERT_TRUE(model.preview()) << model.error().value_or(QString()).toStdString();
    EXPECT_EQ(report->toPlainText(), *model.preview());
    EXPECT_TRUE(view.applyButton()->isEnabled());

    // Return is the window's default action.
    QTest::keyClick(&view, Qt::Key_Return);
    ASSERT_TRUE(waitUntil([&] { return model.result().has_value() || model.error().has_value(); }));
    ASSERT_TRUE(model.result()) << model.error().value_or(QString()).toStdString();
    EXPECT_EQ(report->toPlainText(), *model.result());
    EXPECT_FALSE(view.applyButton()->isEnabled());
    const QList<QLabel*> labels = view.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.cbegin(), labels.cend(), [&](const QLabel* label) {
        return label->isVisibleTo(&view) && label->text() == *model.statusText();
    })) << "the status label shows";
}

TEST(HooksViewTest, AFailedPreviewShowsItsErrorUnderTheReport)
{
    QTemporaryDir tools;
    const QString python = tools.filePath(QStringLiteral("python3"));
    QFile fake(python);
    ASSERT_TRUE(fake.open(QIODevice::WriteOnly));
    fake.write("#!/bin/sh\necho '  settings.json is not valid JSON  '\nexit 3\n");
    fake.close();
    fake.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    MenuFixture fixture;
    fixture.pythonExecutable = python;
    HooksView view(fixture.environment());
    QCoro::waitFor(view.model().runPreview());
    const QString expected = QStringLiteral("relay.py install-hooks --dry-run failed: settings.json is not valid JSON");
    const QList<QLabel*> labels = view.findChildren<QLabel*>();
    EXPECT_TRUE(std::any_of(labels.cbegin(), labels.cend(), [&](const QLabel* label) {
        return label->isVisibleTo(&view) && label->text() == expected;
    }));
}
