#include "quick/appearance.h"

#include "design/color.h"
#include "design/night_filter.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QQuickItem>
#include <QQuickWindow>
#include <QVariantAnimation>

namespace idlewyn {

namespace {

QHash<const QQuickItem*, QuickAppearance*>& registry()
{
    static QHash<const QQuickItem*, QuickAppearance*> attached;
    return attached;
}

bool applicationIsDark()
{
    return appearanceOf(QGuiApplication::palette()) == Appearance::dark;
}

// Tells every item that inherits its appearance from the application when
// the application palette changes (a switch of the desktop's light/dark).
class PaletteWatch : public QObject {
public:
    static void ensure()
    {
        static PaletteWatch* watch = nullptr;
        if (!watch && QCoreApplication::instance()) {
            watch = new PaletteWatch(QCoreApplication::instance());
            QCoreApplication::instance()->installEventFilter(watch);
        }
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == QCoreApplication::instance() && event->type() == QEvent::ApplicationPaletteChange) {
            for (QuickAppearance* appearance : registry()) {
                appearance->resetDark();
            }
        }
        return false;
    }

private:
    using QObject::QObject;
};

} // namespace

QuickAppearance::QuickAppearance(QObject* attachee)
    : QObject(attachee)
    , m_item(qobject_cast<QQuickItem*>(attachee))
    , m_effectiveDark(applicationIsDark())
{
    PaletteWatch::ensure();
    if (m_item) {
        m_key = m_item;
        registry().insert(m_key, this);
        watchAncestors();
        refresh(false);
    }
}

QuickAppearance::~QuickAppearance()
{
    for (const auto& connection : std::as_const(m_ancestorWatches)) {
        disconnect(connection);
    }
    if (m_key && registry().value(m_key) == this) {
        registry().remove(m_key);
    }
}

QuickAppearance* QuickAppearance::qmlAttachedProperties(QObject* object)
{
    // On a window the values belong to everything it shows.
    if (auto* window = qobject_cast<QQuickWindow*>(object)) {
        return of(window->contentItem());
    }
    if (auto* item = qobject_cast<QQuickItem*>(object)) {
        return of(item);
    }
    return new QuickAppearance(object);
}

QuickAppearance* QuickAppearance::of(QQuickItem* item)
{
    if (!item) {
        return nullptr;
    }
    if (QuickAppearance* existing = registry().value(item)) {
        return existing;
    }
    return new QuickAppearance(item);
}

void QuickAppearance::setDark(bool dark)
{
    if (m_dark == dark) {
        return;
    }
    m_dark = dark;
    refreshSubtree(false);
}

void QuickAppearance::resetDark()
{
    // Also how an application palette change reaches every item: each one
    // that inherits takes the new value.
    if (!m_dark) {
        refresh(false);
        return;
    }
    m_dark.reset();
    refreshSubtree(false);
}

void QuickAppearance::setNightMode(bool isNightMode)
{
    switchNightMode(isNightMode, false);
}

void QuickAppearance::switchNightMode(bool isNightMode, bool animated)
{
    if (m_night == isNightMode) {
        return;
    }
    m_night = isNightMode;
    refreshSubtree(animated);
}

void QuickAppearance::resetNightMode()
{
    if (m_night) {
        m_night.reset();
        refreshSubtree(false);
    }
}

void QuickAppearance::setHiddenAtNight(bool hidden)
{
    if (hidden == m_hiddenAtNight) {
        return;
    }
    m_hiddenAtNight = hidden;
    applyHidden(false);
    emit hiddenAtNightChanged();
}

void QuickAppearance::refresh(bool animated)
{
    std::optional<bool> dark = m_dark;
    std::optional<bool> night = m_night;
    for (const QQuickItem* ancestor = m_item ? m_item->parentItem() : nullptr; ancestor && !(dark && night);
         ancestor = ancestor->parentItem()) {
        if (const QuickAppearance* set = registry().value(ancestor)) {
            dark = dark ? dark : set->m_dark;
            night = night ? night : set->m_night;
        }
    }
    const bool newDark = dark.value_or(applicationIsDark());
    const bool newNight = night.value_or(false);
    if (newDark != m_effectiveDark) {
        m_effectiveDark = newDark;
        emit darkChanged();
    }
    if (newNight != m_effectiveNight) {
        m_effectiveNight = newNight;
        applyHidden(animated);
        emit isNightModeChanged();
    }
}

void QuickAppearance::refreshSubtree(bool animated)
{
    refresh(animated);
    if (!m_item) {
        return;
    }
    QList<QQuickItem*> pending = m_item->childItems();
    while (!pending.isEmpty()) {
        QQuickItem* item = pending.takeLast();
        if (QuickAppearance* below = registry().value(item)) {
            below->refresh(animated);
        }
        pending += item->childItems();
    }
}

void QuickAppearance::watchAncestors()
{
    // A delegate is made first and placed in its view afterwards, and any
    // ancestor may move: a change of parent anywhere above means other values.
    for (const auto& connection : std::as_const(m_ancestorWatches)) {
        disconnect(connection);
    }
    m_ancestorWatches.clear();
    for (QQuickItem* item = m_item; item; item = item->parentItem()) {
        m_ancestorWatches << connect(item, &QQuickItem::parentChanged, this, [this] {
            watchAncestors();
            refresh(false);
        });
    }
}

void QuickAppearance::applyHidden(bool animated)
{
    if (!m_item || (!m_hiddenAtNight && !m_fade)) {
        return;
    }
    const qreal target = m_hiddenAtNight && m_effectiveNight ? 0.0 : 1.0;
    if (!m_fade) {
        m_fade = new QVariantAnimation(this);
        m_fade->setDuration(NightFilter::transitionDuration);
        m_fade->setEasingCurve(NightFilter::transitionCurve());
        connect(m_fade, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            if (m_item) {
                m_item->setOpacity(value.toReal());
            }
        });
    }
    m_fade->stop();
    if (animated && !qFuzzyCompare(m_item->opacity(), target)) {
        m_fade->setStartValue(m_item->opacity());
        m_fade->setEndValue(target);
        m_fade->start();
    } else {
        m_item->setOpacity(target);
    }
}

} // namespace idlewyn
