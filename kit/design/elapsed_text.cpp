#include "design/elapsed_text.h"

#include <QCoreApplication>
#include <QPointer>

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

#include <cstdlib>
#include <memory>

namespace idlewyn {

namespace {

QString fromIcu(const icu::UnicodeString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getBuffer()), text.length());
}

// Building an ICU formatter loads locale data; one per locale is kept.
const icu::RelativeDateTimeFormatter* formatter(const QLocale& locale)
{
    static QHash<QString, std::shared_ptr<icu::RelativeDateTimeFormatter>> formatters;
    const QString tag = locale.bcp47Name();
    if (const auto found = formatters.constFind(tag); found != formatters.cend()) {
        return found->get();
    }
    UErrorCode status = U_ZERO_ERROR;
    icu::Locale icuLocale = icu::Locale::forLanguageTag(tag.toStdString(), status);
    if (U_FAILURE(status) || icuLocale.isBogus()) {
        icuLocale = icu::Locale::getEnglish();
    }
    status = U_ZERO_ERROR;
    auto created = std::make_shared<icu::RelativeDateTimeFormatter>(icuLocale, nullptr, UDAT_STYLE_LONG,
                                                                    UDISPCTX_CAPITALIZATION_NONE, status);
    if (U_FAILURE(status)) {
        created.reset();
    }
    formatters.insert(tag, created);
    return created.get();
}

QPointer<ElapsedClock>& currentClock()
{
    static QPointer<ElapsedClock> clock;
    return clock;
}

} // namespace

namespace ElapsedText {

QString timerText(qint64 elapsedSeconds)
{
    const qint64 seconds = std::max<qint64>(elapsedSeconds, 0);
    const qint64 hours = seconds / 3600;
    const qint64 minutes = seconds % 3600 / 60;
    const QString secondsText = QStringLiteral("%1").arg(seconds % 60, 2, 10, QLatin1Char('0'));
    if (hours == 0) {
        return QStringLiteral("%1:%2").arg(minutes).arg(secondsText);
    }
    return QStringLiteral("%1:%2:%3").arg(hours).arg(minutes, 2, 10, QLatin1Char('0')).arg(secondsText);
}

QString relativeText(const QDateTime& since, const QDateTime& now, const QLocale& locale)
{
    const icu::RelativeDateTimeFormatter* icuFormatter = formatter(locale);
    if (!icuFormatter || !since.isValid() || !now.isValid()) {
        return {};
    }
    // Past moments are negative offsets ("… ago"); the unit is the largest
    // one the interval fills at least once.
    const qint64 offset = now.msecsTo(since) / 1000;
    const qint64 magnitude = std::llabs(offset);
    struct Unit {
        qint64 seconds;
        URelativeDateTimeUnit unit;
    };
    static constexpr Unit units[] = {
        {365 * 86400, UDAT_REL_UNIT_YEAR}, {30 * 86400, UDAT_REL_UNIT_MONTH}, {7 * 86400, UDAT_REL_UNIT_WEEK},
        {86400, UDAT_REL_UNIT_DAY},        {3600, UDAT_REL_UNIT_HOUR},        {60, UDAT_REL_UNIT_MINUTE},
    };
    double value = double(offset);
    URelativeDateTimeUnit unit = UDAT_REL_UNIT_SECOND;
    for (const Unit& candidate : units) {
        if (magnitude >= candidate.seconds) {
            value = double(offset / candidate.seconds);
            unit = candidate.unit;
            break;
        }
    }
    icu::UnicodeString result;
    UErrorCode status = U_ZERO_ERROR;
    icuFormatter->format(value, unit, result, status);
    if (U_FAILURE(status)) {
        return {};
    }
    return fromIcu(result);
}

QString textAt(const std::optional<QDateTime>& runningSince, const QDateTime& updatedAt, const QDateTime& now)
{
    if (runningSince) {
        return timerText(runningSince->msecsTo(now) / 1000);
    }
    return relativeText(updatedAt, now);
}

} // namespace ElapsedText

ElapsedClock& ElapsedClock::instance()
{
    if (!currentClock()) {
        // Owned by the application so it goes away before Qt does.
        currentClock() = new ElapsedClock(QCoreApplication::instance());
    }
    return *currentClock();
}

void ElapsedClock::leave(QObject* label)
{
    if (currentClock()) {
        currentClock()->unsubscribe(label);
    }
}

ElapsedClock::ElapsedClock(QObject* parent)
    : QObject(parent)
{
    m_timer.setInterval(refreshInterval);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        const auto labels = m_labels.keys(); // a refresh may hide or delete a label
        for (QObject* label : labels) {
            if (const auto found = m_labels.constFind(label); found != m_labels.cend()) {
                const auto refresh = found.value();
                refresh();
            }
        }
    });
}

void ElapsedClock::join(QObject* label, std::function<void()> refresh)
{
    m_labels.insert(label, std::move(refresh));
    if (!m_timer.isActive()) {
        m_timer.start();
    }
}

void ElapsedClock::unsubscribe(QObject* label)
{
    m_labels.remove(label);
    if (m_labels.isEmpty()) {
        m_timer.stop();
    }
}

} // namespace idlewyn
