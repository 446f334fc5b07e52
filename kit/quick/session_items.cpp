#include "quick/session_items.h"

#include "design/elapsed_text.h"
#include "design/fill_style.h"
#include "design/night_filter.h"
#include "design/palette.h"
#include "design/session_drawing.h"
#include "design/spacing.h"
#include "design/symbol_catalogue.h"
#include "design/tabular_text.h"
#include "design/typography.h"
#include "quick/appearance.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QVariantAnimation>

#include <cmath>

namespace idlewyn {

namespace {

Appearance appearance(bool dark)
{
    return dark ? Appearance::dark : Appearance::light;
}

SessionStatus statusOf(const QString& raw)
{
    return sessionStatusFromRawValue(raw).value_or(SessionStatus::idle);
}

// The text colour of an appearance: the application's own when it is drawn
// in that appearance, otherwise the design's text on dark (or ink-black).
QColor textColor(bool dark)
{
    const QPalette palette = QGuiApplication::palette();
    if ((appearanceOf(palette) == Appearance::dark) == dark) {
        return palette.color(QPalette::WindowText);
    }
    return dark ? Palette::OnDark::primary() : Palette::inkDeep();
}

void setImplicit(QQuickItem* item, const QSizeF& size)
{
    item->setImplicitWidth(std::ceil(size.width()));
    item->setImplicitHeight(std::ceil(size.height()));
}

} // namespace

AppearanceItem::AppearanceItem(QQuickItem* parent)
    : QQuickPaintedItem(parent)
    , m_appearance(QuickAppearance::of(this))
{
    setAntialiasing(true);
    connect(m_appearance, &QuickAppearance::darkChanged, this, [this] { appearanceChanged(); });
}

bool AppearanceItem::isDark() const
{
    return m_appearance->isDark();
}

void AppearanceItem::appearanceChanged()
{
    update();
}

SymbolImage::SymbolImage(QQuickItem* parent)
    : QQuickPaintedItem(parent)
{
    setAntialiasing(true);
    setImplicitSize(StatusIconSize::medium, StatusIconSize::medium);
}

void SymbolImage::setName(const QString& name)
{
    if (name != m_name) {
        m_name = name;
        emit nameChanged();
        update();
    }
}

void SymbolImage::setColor(const QColor& color)
{
    if (color != m_color) {
        m_color = color;
        emit colorChanged();
        update();
    }
}

void SymbolImage::setWeight(Weight weight)
{
    if (weight != m_weight) {
        m_weight = weight;
        emit weightChanged();
        update();
    }
}

bool SymbolImage::isKnown() const
{
    return SymbolCatalogue::contains(m_name);
}

void SymbolImage::paint(QPainter* painter)
{
    SymbolCatalogue::paint(*painter, boundingRect(), m_name, m_color, SymbolWeight(m_weight));
}

StatusIndicatorItem::StatusIndicatorItem(QQuickItem* parent)
    : AppearanceItem(parent)
    , m_pulse(new QVariantAnimation(this))
{
    setImplicitSize(m_size, m_size);
    m_pulse->setStartValue(0.0);
    m_pulse->setEndValue(1.0);
    m_pulse->setDuration(SessionDrawing::pulseDuration);
    connect(m_pulse, &QVariantAnimation::valueChanged, this, [this] { update(); });
    connect(m_pulse, &QVariantAnimation::stateChanged, this, [this] {
        emit pulsingChanged();
        update();
    });
}

void StatusIndicatorItem::setStatus(const QString& status)
{
    const bool changed = statusOf(status) != statusOf(m_status);
    if (status == m_status) {
        return;
    }
    m_status = status;
    emit statusChanged();
    if (!changed) {
        return;
    }
    emit resolvedColorChanged();
    // The first status an indicator is built with is no change.
    if (isComponentComplete()) {
        m_pulse->stop();
        m_pulse->start();
        emit pulsed();
    }
    update();
}

void StatusIndicatorItem::setSize(qreal size)
{
    if (!qFuzzyCompare(size, m_size)) {
        m_size = size;
        setImplicitSize(std::ceil(size), std::ceil(size));
        emit sizeChanged();
        update();
    }
}

QString StatusIndicatorItem::label() const
{
    return idlewyn::label(statusOf(m_status));
}

QString StatusIndicatorItem::symbolName() const
{
    return idlewyn::symbolName(statusOf(m_status));
}

QColor StatusIndicatorItem::resolvedColor() const
{
    return tint(statusOf(m_status)).resolved(appearance(isDark()));
}

bool StatusIndicatorItem::isPulsing() const
{
    return m_pulse->state() == QAbstractAnimation::Running;
}

void StatusIndicatorItem::paint(QPainter* painter)
{
    SessionDrawing::statusIndicator(*painter, boundingRect(), statusOf(m_status), m_size, resolvedColor(),
                                    isPulsing() ? m_pulse->currentValue().toReal() : -1.0);
}

void StatusIndicatorItem::appearanceChanged()
{
    emit resolvedColorChanged();
    update();
}

ProviderBadgeItem::ProviderBadgeItem(QQuickItem* parent)
    : AppearanceItem(parent)
{
}

void ProviderBadgeItem::setProvider(const QString& provider)
{
    if (provider != m_provider) {
        m_provider = provider;
        resize();
    }
}

void ProviderBadgeItem::setCompact(bool compact)
{
    if (compact != m_compact) {
        m_compact = compact;
        resize();
    }
}

QString ProviderBadgeItem::title() const
{
    const auto provider = agentProviderFromRawValue(m_provider);
    return provider ? SessionDrawing::providerBadgeTitle(*provider, m_compact) : QString();
}

void ProviderBadgeItem::resize()
{
    const auto provider = agentProviderFromRawValue(m_provider);
    setImplicit(this,
                provider ? SessionDrawing::providerBadgeSize(Typography::metaSmallStrong(), *provider, m_compact)
                         : QSizeF(0, 0));
    emit inputsChanged();
    update();
}

void ProviderBadgeItem::paint(QPainter* painter)
{
    if (const auto provider = agentProviderFromRawValue(m_provider)) {
        SessionDrawing::providerBadge(*painter, boundingRect(), Typography::metaSmallStrong(), *provider, m_compact,
                                      Palette::providerBadge().resolved(appearance(isDark())));
    }
}

TaskProgressItem::TaskProgressItem(QQuickItem* parent)
    : AppearanceItem(parent)
{
    progressSet();
}

void TaskProgressItem::setDone(int done)
{
    if (done != m_done) {
        m_done = done;
        progressSet();
    }
}

void TaskProgressItem::setTotal(int total)
{
    if (total != m_total) {
        m_total = total;
        progressSet();
    }
}

void TaskProgressItem::progressSet()
{
    setImplicit(this, SessionDrawing::taskProgressSize(Typography::numberSmall(), {m_done, m_total}));
    emit progressChanged();
    update();
}

QColor TaskProgressItem::tint() const
{
    return m_tint.isValid() ? m_tint : Palette::Status::working().resolved(appearance(isDark()));
}

void TaskProgressItem::setTint(const QColor& tint)
{
    if (tint != m_tint) {
        m_tint = tint;
        emit tintChanged();
        update();
    }
}

void TaskProgressItem::resetTint()
{
    setTint(QColor());
}

double TaskProgressItem::value() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.value();
}

double TaskProgressItem::maximum() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.maximum();
}

double TaskProgressItem::fraction() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.fraction();
}

QString TaskProgressItem::text() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.text();
}

QString TaskProgressItem::accessibleLabel() const
{
    return SessionDrawing::TaskProgress{m_done, m_total}.accessibleLabel();
}

void TaskProgressItem::paint(QPainter* painter)
{
    SessionDrawing::taskProgress(*painter, boundingRect(), Typography::numberSmall(), {m_done, m_total}, tint());
}

void TaskProgressItem::appearanceChanged()
{
    if (!m_tint.isValid()) {
        emit tintChanged();
    }
    update();
}

ElapsedLabelItem::ElapsedLabelItem(QQuickItem* parent)
    : AppearanceItem(parent)
    , m_font(QGuiApplication::font())
{
    refresh();
}

ElapsedLabelItem::~ElapsedLabelItem()
{
    ElapsedClock::leave(this);
}

void ElapsedLabelItem::setRunningSince(const QDateTime& since)
{
    if (since != m_runningSince || since.isValid() != m_runningSince.isValid()) {
        m_runningSince = since;
        emit timesChanged();
        refresh();
    }
}

void ElapsedLabelItem::resetRunningSince()
{
    setRunningSince(QDateTime());
}

void ElapsedLabelItem::setUpdatedAt(const QDateTime& at)
{
    if (at != m_updatedAt) {
        m_updatedAt = at;
        emit timesChanged();
        refresh();
    }
}

void ElapsedLabelItem::setFont(const QFont& font)
{
    if (font != m_font) {
        m_font = font;
        setImplicit(this, {TabularText::width(m_font, m_shown), QFontMetricsF(m_font).height()});
        emit fontChanged();
        update();
    }
}

QColor ElapsedLabelItem::color() const
{
    return m_color.isValid() ? m_color : textColor(isDark());
}

void ElapsedLabelItem::setColor(const QColor& color)
{
    if (color != m_color) {
        m_color = color;
        emit colorChanged();
        update();
    }
}

void ElapsedLabelItem::resetColor()
{
    setColor(QColor());
}

void ElapsedLabelItem::setAlignment(Qt::Alignment alignment)
{
    if (alignment != m_alignment) {
        m_alignment = alignment;
        emit alignmentChanged();
        update();
    }
}

void ElapsedLabelItem::refresh()
{
    const std::optional<QDateTime> since =
        m_runningSince.isValid() ? std::optional<QDateTime>(m_runningSince) : std::nullopt;
    const QString current = ElapsedText::textAt(since, m_updatedAt, QDateTime::currentDateTimeUtc());
    if (current == m_shown) {
        return;
    }
    m_shown = current;
    setImplicit(this, {TabularText::width(m_font, m_shown), QFontMetricsF(m_font).height()});
    emit textChanged();
    update();
}

void ElapsedLabelItem::follow(bool inWindow)
{
    // Only a label that can be seen keeps the shared clock running.
    if (isVisible() && inWindow) {
        ElapsedClock::instance().join(this, [this] { refresh(); });
        refresh();
    } else {
        ElapsedClock::leave(this);
    }
}

void ElapsedLabelItem::itemChange(ItemChange change, const ItemChangeData& value)
{
    if (change == ItemVisibleHasChanged) {
        follow(window() != nullptr);
    } else if (change == ItemSceneChange) {
        follow(value.window != nullptr);
    }
    AppearanceItem::itemChange(change, value);
}

void ElapsedLabelItem::appearanceChanged()
{
    if (!m_color.isValid()) {
        emit colorChanged();
    }
    update();
}

void ElapsedLabelItem::paint(QPainter* painter)
{
    painter->setFont(m_font);
    painter->setPen(color());
    TabularText::draw(*painter, boundingRect(), m_alignment, m_shown);
}

ActivityLineItem::ActivityLineItem(QQuickItem* parent)
    : AppearanceItem(parent)
{
    inputsSet();
}

void ActivityLineItem::setText(const QString& text)
{
    if (text != m_text) {
        m_text = text;
        inputsSet();
    }
}

void ActivityLineItem::setStyle(const QVariant& style)
{
    if (style != m_style) {
        m_style = style;
        emit styleChanged();
        update();
    }
}

void ActivityLineItem::setShowsIcon(bool showsIcon)
{
    if (showsIcon != m_showsIcon) {
        m_showsIcon = showsIcon;
        inputsSet();
    }
}

void ActivityLineItem::setCompact(bool compact)
{
    if (compact != m_compact) {
        m_compact = compact;
        inputsSet();
    }
}

void ActivityLineItem::inputsSet()
{
    setImplicit(this,
                SessionDrawing::activityLineSize(SessionDrawing::activityLineFont(m_compact), m_text, m_showsIcon));
    emit inputsChanged();
    emit displayedTextChanged();
    update();
}

QString ActivityLineItem::displayedText() const
{
    return SessionDrawing::elidedActivity(SessionDrawing::activityLineFont(m_compact), m_text, m_showsIcon, width());
}

QColor ActivityLineItem::resolvedColor() const
{
    if (m_style.typeId() == QMetaType::QColor) {
        return m_style.value<QColor>();
    }
    const QString level = m_style.toString();
    FillStyle style;
    if (level == QLatin1String("secondary")) {
        style = FillStyle::secondary();
    } else if (level == QLatin1String("tertiary")) {
        style = FillStyle::tertiary();
    } else if (level == QLatin1String("quaternary")) {
        style = FillStyle::quaternary();
    } else if (const QColor color(level); level != QLatin1String("primary") && color.isValid()) {
        return color; // "#0062CC", "red": a colour given as text
    }
    QPalette palette;
    palette.setColor(QPalette::WindowText, textColor(isDark()));
    return style.brush(palette).color();
}

void ActivityLineItem::geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry)
{
    AppearanceItem::geometryChange(newGeometry, oldGeometry);
    if (newGeometry.width() != oldGeometry.width()) {
        emit displayedTextChanged();
    }
}

void ActivityLineItem::appearanceChanged()
{
    emit styleChanged();
    update();
}

void ActivityLineItem::paint(QPainter* painter)
{
    SessionDrawing::activityLine(*painter, boundingRect(), SessionDrawing::activityLineFont(m_compact), m_text,
                                 m_showsIcon, resolvedColor());
}

NightModeItem::NightModeItem(QQuickItem* parent)
    : QQuickItem(parent)
    , m_transition(new QVariantAnimation(this))
{
    m_transition->setDuration(NightFilter::transitionDuration);
    m_transition->setEasingCurve(NightFilter::transitionCurve());
    connect(m_transition, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_strength = value.toReal();
        emit filterStrengthChanged();
    });
}

void NightModeItem::setOn(bool isOn)
{
    if (isOn == m_isOn) {
        return;
    }
    m_isOn = isOn;
    emit isOnChanged();
    if (!isComponentComplete()) {
        return; // componentComplete() takes the value as it is then
    }
    QuickAppearance::of(this)->switchNightMode(isOn, true);
    m_transition->stop();
    m_transition->setStartValue(m_strength);
    m_transition->setEndValue(isOn ? 1.0 : 0.0);
    m_transition->start();
}

QColor NightModeItem::nightRed()
{
    return Palette::nightRed();
}

void NightModeItem::componentComplete()
{
    QQuickItem::componentComplete();
    // What is first drawn in night mode is simply drawn that way.
    QuickAppearance::of(this)->switchNightMode(m_isOn, false);
    m_strength = m_isOn ? 1.0 : 0.0;
    emit filterStrengthChanged();
}

} // namespace idlewyn
