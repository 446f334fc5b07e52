#include "design/elapsed_label.h"

#include "design/tabular_text.h"
#include "model/agent_session.h"

#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QHash>
#include <QPainter>
#include <QPointer>
#include <QSet>
#include <QTimer>

#include <unicode/locid.h>
#include <unicode/reldatefmt.h>
#include <unicode/unistr.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace idlewyn {

// The single timer behind every ElapsedLabel. Labels join while shown and
// leave when hidden or destroyed; the timer runs only while someone listens,
// so a closed panel costs no wake-ups.
class ElapsedTicker : public QObject {
public:
    static ElapsedTicker& instance()
    {
        if (!current()) {
            // Owned by the application so it goes away before Qt does.
            current() = new ElapsedTicker(QCoreApplication::instance());
        }
        return *current();
    }

    // Leaving must not bring a ticker (back) into being.
    static void leave(ElapsedLabel* label)
    {
        if (current()) {
            current()->unsubscribe(label);
        }
    }

    void subscribe(ElapsedLabel* label)
    {
        m_labels.insert(label);
        if (!m_timer.isActive()) {
            m_timer.start();
        }
    }

    void unsubscribe(ElapsedLabel* label)
    {
        m_labels.remove(label);
        if (m_labels.isEmpty()) {
            m_timer.stop();
        }
    }

    const QTimer& timer() const { return m_timer; }

private:
    explicit ElapsedTicker(QObject* parent)
        : QObject(parent)
    {
        m_timer.setInterval(ElapsedLabel::refreshInterval);
        connect(&m_timer, &QTimer::timeout, this, [this] {
            const auto labels = m_labels; // a refresh may hide or delete a label
            for (ElapsedLabel* label : labels) {
                if (m_labels.contains(label)) {
                    label->refresh();
                }
            }
        });
    }

    static QPointer<ElapsedTicker>& current()
    {
        static QPointer<ElapsedTicker> ticker;
        return ticker;
    }

    QTimer m_timer;
    QSet<ElapsedLabel*> m_labels;
};

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

} // namespace

ElapsedLabel::ElapsedLabel(std::optional<QDateTime> runningSince, QDateTime updatedAt, QWidget* parent)
    : QWidget(parent)
    , m_runningSince(std::move(runningSince))
    , m_updatedAt(std::move(updatedAt))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    m_shown = text();
}

ElapsedLabel::ElapsedLabel(const AgentSession& session, QWidget* parent)
    : ElapsedLabel(session.runningSince(), session.updatedAt, parent)
{
}

ElapsedLabel::~ElapsedLabel()
{
    ElapsedTicker::leave(this);
}

void ElapsedLabel::setSession(const AgentSession& session)
{
    setTimes(session.runningSince(), session.updatedAt);
}

void ElapsedLabel::setTimes(std::optional<QDateTime> runningSince, QDateTime updatedAt)
{
    m_runningSince = std::move(runningSince);
    m_updatedAt = std::move(updatedAt);
    refresh();
}

void ElapsedLabel::setForeground(const FillStyle& style)
{
    m_foreground = style;
    update();
}

void ElapsedLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

QString ElapsedLabel::text() const
{
    return textAt(QDateTime::currentDateTimeUtc());
}

QString ElapsedLabel::textAt(const QDateTime& now) const
{
    if (m_runningSince) {
        return timerText(m_runningSince->msecsTo(now) / 1000);
    }
    return relativeText(m_updatedAt, now);
}

QString ElapsedLabel::timerText(qint64 elapsedSeconds)
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

QString ElapsedLabel::relativeText(const QDateTime& since, const QDateTime& now, const QLocale& locale)
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

const QTimer& ElapsedLabel::sharedTimer()
{
    return ElapsedTicker::instance().timer();
}

void ElapsedLabel::refresh()
{
    const QString current = text();
    if (current == m_shown) {
        return;
    }
    const bool widthChanged = TabularText::width(font(), current) != TabularText::width(font(), m_shown);
    m_shown = current;
    if (widthChanged) {
        updateGeometry();
    }
    update();
}

QSize ElapsedLabel::sizeHint() const
{
    const QFontMetricsF metrics(font());
    return {int(std::ceil(TabularText::width(font(), m_shown))), int(std::ceil(metrics.height()))};
}

void ElapsedLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(QPen(m_foreground.brush(this), 0));
    TabularText::draw(painter, rect(), m_alignment, m_shown);
}

void ElapsedLabel::showEvent(QShowEvent* event)
{
    ElapsedTicker::instance().subscribe(this);
    refresh();
    QWidget::showEvent(event);
}

void ElapsedLabel::hideEvent(QHideEvent* event)
{
    ElapsedTicker::leave(this);
    QWidget::hideEvent(event);
}

void ElapsedLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace idlewyn
