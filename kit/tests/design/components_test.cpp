#include "design/elapsed_label.h"
#include "design/spacing.h"
#include "design/status_indicator.h"
#include "design/tabular_text.h"
#include "design/typography.h"
#include "model/agent_session.h"

#include <gtest/gtest.h>

#include <QFontMetricsF>
#include <QSignalSpy>
#include <QTimer>

using namespace idlewyn;

namespace {

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
