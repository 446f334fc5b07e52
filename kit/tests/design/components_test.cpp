#include "design/activity_line.h"
#include "design/elapsed_label.h"
#include "design/palette.h"
#include "design/provider_badge.h"
#include "design/spacing.h"
#include "design/status_indicator.h"
#include "design/tabular_text.h"
#include "design/task_progress_view.h"
#include "design/typography.h"
#include "design_test_support.h"
#include "model/agent_session.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QSignalSpy>
#include <QTimer>

using namespace idlewyn;

namespace {

QColor pixelAt(const QImage& image, int x, int y)
{
    return image.pixelColor(x, y);
}

AgentSession session(SessionStatus status, std::optional<QDateTime> turnStartedAt, QDateTime updatedAt)
{
    AgentSession result;
    result.id = QStringLiteral("s1");
    result.title = QStringLiteral("vesperline");
    result.status = status;
    result.startedAt = updatedAt.addSecs(-3600);
    result.updatedAt = updatedAt;
    result.turnStartedAt = turnStartedAt;
    return result;
}

} // namespace

TEST(TaskProgressViewTest, BarClampsWhileTheTextShowsTheInputs)
{
    const Color finished = Palette::Status::finished();
    TaskProgressView over(7, 5, finished);
    EXPECT_DOUBLE_EQ(over.value(), 5);
    EXPECT_DOUBLE_EQ(over.maximum(), 5);
    EXPECT_DOUBLE_EQ(over.fraction(), 1);
    EXPECT_EQ(over.text(), QStringLiteral("7/5"));
    EXPECT_EQ(over.accessibleName(), QStringLiteral("7 of 5 tasks done"));

    TaskProgressView none(3, 0, finished);
    EXPECT_DOUBLE_EQ(none.value(), 0);
    EXPECT_DOUBLE_EQ(none.maximum(), 1);
    EXPECT_DOUBLE_EQ(none.fraction(), 0);
    EXPECT_EQ(none.text(), QStringLiteral("3/0"));

    TaskProgressView negative(-2, 4, finished);
    EXPECT_DOUBLE_EQ(negative.fraction(), 0);
    EXPECT_EQ(negative.text(), QStringLiteral("-2/4"));

    // Updating the inputs updates everything derived from them.
    none.setProgress(1, 4);
    EXPECT_DOUBLE_EQ(none.fraction(), 0.25);
    EXPECT_EQ(none.accessibleName(), QStringLiteral("1 of 4 tasks done"));
}

TEST(TaskProgressViewTest, FullAndEmptyBarsAsDrawn)
{
    for (const QPalette& palette : {test::lightPalette(), test::darkPalette()}) {
        const QColor colour = Palette::Status::finished().resolved(palette);
        TaskProgressView full(7, 5, Palette::Status::finished());
        TaskProgressView empty(3, 0, Palette::Status::finished());
        for (TaskProgressView* view : {&full, &empty}) {
            view->setPalette(palette);
            view->setAutoFillBackground(true);
            view->resize(view->sizeHint());
        }
        const QImage fullImage = test::render(full);
        const QImage emptyImage = test::render(empty);
        const int middle = fullImage.height() / 2;
        // Just inside the bar's right end: filled only when the bar is full.
        EXPECT_EQ(pixelAt(fullImage, 29, middle), colour);
        EXPECT_EQ(pixelAt(fullImage, 3, middle), colour);
        EXPECT_GT(test::colorDistance(pixelAt(emptyImage, 29, middle), colour), 40);
        EXPECT_GT(test::colorDistance(pixelAt(emptyImage, 3, middle), colour), 40);
    }
}

TEST(TabularTextTest, EveryDigitTakesTheWidestDigitsWidth)
{
    const QFont font = Typography::number();
    const QFontMetricsF metrics(font);
    qreal widest = 0;
    for (char digit = '0'; digit <= '9'; ++digit) {
        widest = std::max(widest, metrics.horizontalAdvance(QLatin1Char(digit)));
    }
    EXPECT_DOUBLE_EQ(TabularText::width(font, QStringLiteral("1:11")), 3 * widest + metrics.horizontalAdvance(':'));
    EXPECT_DOUBLE_EQ(TabularText::width(font, QStringLiteral("1:11")),
                     TabularText::width(font, QStringLiteral("8:08")));
    // Words between digits keep their own shaping and width.
    EXPECT_DOUBLE_EQ(TabularText::width(font, QStringLiteral("in 5 minutes")),
                     metrics.horizontalAdvance(QStringLiteral("in ")) + widest
                         + metrics.horizontalAdvance(QStringLiteral(" minutes")));
}

TEST(ElapsedLabelTest, TimerTextCountsMinutesThenHours)
{
    EXPECT_EQ(ElapsedLabel::timerText(65), QStringLiteral("1:05"));
    EXPECT_EQ(ElapsedLabel::timerText(3725), QStringLiteral("1:02:05"));
    EXPECT_EQ(ElapsedLabel::timerText(0), QStringLiteral("0:00"));
    EXPECT_EQ(ElapsedLabel::timerText(3599), QStringLiteral("59:59"));
    EXPECT_EQ(ElapsedLabel::timerText(3600), QStringLiteral("1:00:00"));
    EXPECT_EQ(ElapsedLabel::timerText(100 * 3600 + 1), QStringLiteral("100:00:01"));
    EXPECT_EQ(ElapsedLabel::timerText(-30), QStringLiteral("0:00")) << "never counts down";

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const ElapsedLabel label(now.addSecs(-3725), now);
    EXPECT_TRUE(label.showsTimer());
    EXPECT_EQ(label.textAt(now), QStringLiteral("1:02:05"));
    EXPECT_EQ(label.textAt(now.addMSecs(999)), QStringLiteral("1:02:05"));
    EXPECT_EQ(label.textAt(now.addSecs(1)), QStringLiteral("1:02:06"));
}

TEST(ElapsedLabelTest, OnlyAWorkingTurnGetsATimer)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime updated = now.addSecs(-2 * 3600 - 60);

    const ElapsedLabel waiting(session(SessionStatus::waitingForInput, now.addSecs(-65), updated));
    EXPECT_FALSE(waiting.showsTimer());
    EXPECT_EQ(waiting.textAt(now), QStringLiteral("2 hours ago"));

    const ElapsedLabel workingWithoutTurn(session(SessionStatus::working, std::nullopt, updated));
    EXPECT_FALSE(workingWithoutTurn.showsTimer());
    EXPECT_EQ(workingWithoutTurn.textAt(now), QStringLiteral("2 hours ago"));

    ElapsedLabel working(session(SessionStatus::working, now.addSecs(-65), updated));
    EXPECT_EQ(working.textAt(now), QStringLiteral("1:05"));
    working.setSession(session(SessionStatus::finished, now.addSecs(-65), now.addSecs(-180)));
    EXPECT_EQ(working.textAt(now), QStringLiteral("3 minutes ago"));
    QLocale::setDefault(QLocale::c());
}

TEST(ElapsedLabelTest, RelativeTextPicksTheLargestWholeUnit)
{
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const auto ago = [&](qint64 seconds) { return ElapsedLabel::relativeText(now.addSecs(-seconds), now, english); };
    EXPECT_EQ(ago(0), QStringLiteral("now"));
    EXPECT_EQ(ago(42), QStringLiteral("42 seconds ago"));
    EXPECT_EQ(ago(59 * 60 + 59), QStringLiteral("59 minutes ago"));
    EXPECT_EQ(ago(86400 + 3600), QStringLiteral("yesterday"));
    EXPECT_EQ(ago(3 * 86400), QStringLiteral("3 days ago"));
    EXPECT_EQ(ago(400 * 86400), QStringLiteral("last year"));
    EXPECT_EQ(ElapsedLabel::relativeText(now.addSecs(300), now, english), QStringLiteral("in 5 minutes"));
    EXPECT_EQ(ElapsedLabel::relativeText(now.addSecs(-7200), now, QLocale(QLocale::German, QLocale::Germany)),
              QStringLiteral("vor 2 Stunden"));
}

TEST(ElapsedLabelTest, OneSharedTimerRunsWhileAnyLabelIsShown)
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    QWidget window;
    auto* first = new ElapsedLabel(now.addSecs(-10), now, &window);
    auto* second = new ElapsedLabel(std::nullopt, now, &window);
    auto* third = new ElapsedLabel(now.addSecs(-3600), now, &window);
    EXPECT_TRUE(window.findChildren<QTimer*>().isEmpty()) << "no label keeps a timer of its own";

    window.show();
    EXPECT_TRUE(ElapsedLabel::sharedTimer().isActive());
    first->hide();
    second->hide();
    EXPECT_TRUE(ElapsedLabel::sharedTimer().isActive());
    delete third;
    EXPECT_FALSE(ElapsedLabel::sharedTimer().isActive()) << "nobody is shown, nothing ticks";
    second->show();
    EXPECT_TRUE(ElapsedLabel::sharedTimer().isActive());
    window.hide();
    EXPECT_FALSE(ElapsedLabel::sharedTimer().isActive());
}

TEST(ElapsedLabelTest, ShownTimerAdvancesOnTheSharedTick)
{
    QWidget window;
    // Half a second past a whole second: the next change is about 0.5 s away.
    auto* label =
        new ElapsedLabel(QDateTime::currentDateTimeUtc().addMSecs(-65'500), QDateTime::currentDateTimeUtc(), &window);
    window.show();
    const QString before = label->text();
    QSignalSpy ticks(&ElapsedLabel::sharedTimer(), &QTimer::timeout);
    for (int i = 0; i < 40 && label->text() == before; ++i) {
        ticks.wait(100);
    }
    EXPECT_NE(label->text(), before);
    EXPECT_GE(ticks.count(), 1);
}

TEST(ActivityLineTest, LongTextLosesItsMiddleAndKeepsBothEnds)
{
    const QString command = QStringLiteral("npm run test -- --watch=false src/features/checkout/checkout_flow.test.ts");
    ActivityLine line(command, FillStyle::secondary());
    line.resize(line.sizeHint());
    EXPECT_EQ(line.displayedText(), command);

    line.resize(160, line.sizeHint().height());
    const QString shown = line.displayedText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("npm"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral(".ts"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(QChar(0x2026)));
    EXPECT_LE(QFontMetricsF(line.font()).horizontalAdvance(shown), 160);

    // The icon takes its room from the text, and a line break never makes a second line.
    line.setShowsIcon(true);
    EXPECT_LT(line.displayedText().size(), shown.size());
    line.setText(QStringLiteral("git commit\n-m fix"));
    line.resize(line.sizeHint());
    EXPECT_EQ(line.displayedText(), QStringLiteral("git commit -m fix"));
    EXPECT_LT(line.minimumSizeHint().width(), 60);
}

TEST(ActivityLineTest, CompactUsesTheSmallerMonospacedFont)
{
    ActivityLine regular(QStringLiteral("make"), FillStyle::primary(), false, false);
    ActivityLine compact(QStringLiteral("make"), FillStyle::primary(), false, true);
    EXPECT_EQ(regular.font(), Typography::mono());
    EXPECT_EQ(compact.font().family(), Typography::mono().family());
    EXPECT_NEAR(compact.font().pointSizeF(), Typography::metaSmall().pointSizeF(), 0.001);
    compact.setCompact(false);
    EXPECT_EQ(compact.font(), Typography::mono());
}

TEST(StatusIndicatorTest, PulsesOncePerChangeOfStatus)
{
    StatusIndicator indicator(SessionStatus::working, StatusIconSize::small);
    QSignalSpy pulses(&indicator, &StatusIndicator::pulsed);
    EXPECT_FALSE(indicator.isPulsing()) << "appearing is not a change";

    indicator.setStatus(SessionStatus::working);
    EXPECT_EQ(pulses.count(), 0);

    indicator.setStatus(SessionStatus::waitingForInput);
    EXPECT_EQ(pulses.count(), 1);
    EXPECT_TRUE(indicator.isPulsing());
    EXPECT_EQ(indicator.accessibleName(), QStringLiteral("Needs input"));

    indicator.setStatus(SessionStatus::waitingForInput);
    EXPECT_EQ(pulses.count(), 1);
}

TEST(StatusIndicatorTest, DrawsInTheStatusTintOfItsAppearance)
{
    for (const QPalette& palette : {test::lightPalette(), test::darkPalette()}) {
        for (SessionStatus status : SessionStatuses::allCases()) {
            QWidget window;
            window.setPalette(palette);
            window.setAutoFillBackground(true);
            auto* indicator = new StatusIndicator(status, StatusIconSize::large, &window);
            indicator->resize(indicator->sizeHint());
            window.resize(indicator->sizeHint());
            const QImage image = test::render(window);
            const QColor expected = tint(status).resolved(palette);
            EXPECT_EQ(indicator->resolvedColor(), expected);
            EXPECT_EQ(test::dominantColor(image, palette.color(QPalette::Window)), expected)
                << rawValue(status).toStdString();
        }
    }
    QWidget light;
    light.setPalette(test::lightPalette());
    QWidget dark;
    dark.setPalette(test::darkPalette());
    EXPECT_EQ(StatusIndicator(SessionStatus::waitingForInput, 14, &light).resolvedColor(), QColor(0xB8, 0x4A, 0x00));
    EXPECT_EQ(StatusIndicator(SessionStatus::waitingForInput, 14, &dark).resolvedColor(), QColor(0xFF, 0xA6, 0x30));
}

TEST(ProviderBadgeTest, CompactShowsTheShortName)
{
    ProviderBadge codex(AgentProvider::codex, true);
    EXPECT_EQ(codex.title(), QStringLiteral("Codex"));
    codex.setCompact(false);
    EXPECT_EQ(codex.title(), QStringLiteral("Codex"));

    ProviderBadge claude(AgentProvider::claude, true);
    EXPECT_EQ(claude.title(), QStringLiteral("Claude"));
    const int compactWidth = claude.sizeHint().width();
    claude.setCompact(false);
    EXPECT_EQ(claude.title(), QStringLiteral("Claude Code"));
    EXPECT_EQ(claude.accessibleName(), QStringLiteral("Claude Code"));
    EXPECT_GT(claude.sizeHint().width(), compactWidth);
    EXPECT_EQ(claude.font(), Typography::metaSmallStrong());
}
