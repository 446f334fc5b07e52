#pragma once

#include <QDateTime>
#include <QHash>
#include <QLocale>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <optional>

namespace idlewyn {

// The texts of an elapsed-time label, for every front end.
namespace ElapsedText {

// "m:ss" below an hour, "h:mm:ss" from one hour on, for whole seconds
// (negative counts as zero): 65 → "1:05", 3725 → "1:02:05".
QString timerText(qint64 elapsedSeconds);
// `since` relative to `now` in words, in the given locale ("now",
// "3 minutes ago", "yesterday"); empty for an invalid moment.
QString relativeText(const QDateTime& since, const QDateTime& now, const QLocale& locale = QLocale());
// The count-up timer from runningSince when there is one (a start in the
// future reads "0:00"), otherwise the time since updatedAt in words.
QString textAt(const std::optional<QDateTime>& runningSince, const QDateTime& updatedAt, const QDateTime& now);

} // namespace ElapsedText

// The one timer behind every elapsed label of the process, whatever draws it.
// Labels join while shown and leave when hidden or destroyed; the timer runs
// only while someone listens, so a closed panel costs no wake-ups.
class ElapsedClock : public QObject {
    Q_OBJECT

public:
    static constexpr int refreshInterval = 250; // ms

    static ElapsedClock& instance();
    // Leaving must not bring a clock (back) into being.
    static void leave(QObject* label);

    // `refresh` runs on every tick until `label` leaves.
    void join(QObject* label, std::function<void()> refresh);
    void unsubscribe(QObject* label);

    const QTimer& timer() const { return m_timer; }

private:
    explicit ElapsedClock(QObject* parent);

    QTimer m_timer;
    QHash<QObject*, std::function<void()>> m_labels;
};

} // namespace idlewyn
