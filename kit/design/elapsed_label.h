#pragma once

#include "design/elapsed_text.h"
#include "design/fill_style.h"

#include <QDateTime>
#include <QLocale>
#include <QWidget>
#include <optional>

class QTimer;

namespace idlewyn {

struct AgentSession;

// How long a session has been at it, kept current while shown.
//
// With runningSince: a count-up timer from that moment, "m:ss" below an hour
// and "h:mm:ss" from one hour on ("1:05", "1:02:05"); it never pauses and
// never counts down (a start in the future reads "0:00").
// Without it: the time since updatedAt in words, in the user's locale
// ("now", "3 minutes ago", "yesterday").
//
// Digits are tabular so the text does not jitter as it changes. The label
// sets no font of its own and draws in its foreground (by default the
// widget's text colour); give it both:
//
//     auto* elapsed = new ElapsedLabel(session, row);
//     elapsed->setFont(Typography::number());
//     elapsed->setForeground(tint(session.status));
//
// Every shown label is refreshed from one shared timer that runs only while
// at least one label is visible.
class ElapsedLabel : public QWidget {
    Q_OBJECT

public:
    ElapsedLabel(std::optional<QDateTime> runningSince, QDateTime updatedAt, QWidget* parent = nullptr);
    // runningSince = session.runningSince() (a working session's turn start),
    // updatedAt = session.updatedAt.
    explicit ElapsedLabel(const AgentSession& session, QWidget* parent = nullptr);
    ~ElapsedLabel() override;

    void setSession(const AgentSession& session);
    void setTimes(std::optional<QDateTime> runningSince, QDateTime updatedAt);
    const std::optional<QDateTime>& runningSince() const { return m_runningSince; }
    const QDateTime& updatedAt() const { return m_updatedAt; }

    // True when the label counts up rather than saying how long ago.
    bool showsTimer() const { return m_runningSince.has_value(); }

    const FillStyle& foreground() const { return m_foreground; }
    void setForeground(const FillStyle& style);
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);

    // The text as of now, and as of any moment.
    QString text() const;
    QString textAt(const QDateTime& now) const;

    // "m:ss" / "h:mm:ss" for whole seconds (negative counts as zero).
    static QString timerText(qint64 elapsedSeconds);
    // `since` relative to `now` in words, in the given locale.
    static QString relativeText(const QDateTime& since, const QDateTime& now, const QLocale& locale = QLocale());

    // The one timer behind every label (for diagnostics and tests).
    static const QTimer& sharedTimer();
    static constexpr int refreshInterval = ElapsedClock::refreshInterval; // ms

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void refresh();

    std::optional<QDateTime> m_runningSince;
    QDateTime m_updatedAt;
    FillStyle m_foreground;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QString m_shown;
};

} // namespace idlewyn
