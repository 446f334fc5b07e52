#include "design/night_mode.h"

#include "design/night_filter.h"

#include <QPainter>
#include <QVariantAnimation>
#include <QWidget>

#include <algorithm>

namespace idlewyn {

namespace {

const char* const environmentProperty = "idlewyn_isNightMode";

bool insideAnotherEffect(const QWidget* widget)
{
    for (const QWidget* ancestor = widget ? widget->parentWidget() : nullptr; ancestor;
         ancestor = ancestor->parentWidget()) {
        if (ancestor->graphicsEffect() && ancestor->graphicsEffect()->isEnabled()) {
            return true;
        }
    }
    return false;
}

} // namespace

bool isNightMode(const QWidget* widget)
{
    for (const QWidget* current = widget; current; current = current->parentWidget()) {
        const QVariant value = current->property(environmentProperty);
        if (value.isValid()) {
            return value.toBool();
        }
    }
    return false;
}

void setNightModeEnvironment(QWidget* widget, std::optional<bool> value)
{
    if (!widget) {
        return;
    }
    widget->setProperty(environmentProperty, value ? QVariant(*value) : QVariant());
    NightModeEffect::refreshHidden(widget, false);
}

NightModeEffect* nightMode(QWidget* widget, bool isOn)
{
    if (!widget) {
        return nullptr;
    }
    NightModeEffect* effect = NightModeEffect::on(widget);
    const bool changed = effect->m_isOn.has_value() && *effect->m_isOn != isOn;
    widget->setProperty(environmentProperty, isOn);
    effect->switchFilter(isOn);
    NightModeEffect::refreshHidden(widget, changed);
    return effect;
}

NightModeEffect* hiddenAtNight(QWidget* widget)
{
    if (!widget) {
        return nullptr;
    }
    NightModeEffect* effect = NightModeEffect::on(widget);
    effect->m_hidesAtNight = true;
    effect->setOpacityTarget(isNightMode(widget) ? 0.0 : 1.0, false);
    effect->updateEnabled();
    return effect;
}

QEasingCurve NightModeEffect::transitionCurve()
{
    return NightFilter::transitionCurve();
}

NightModeEffect::NightModeEffect(QWidget* widget)
    : m_widget(widget)
    , m_filterTransition(new QVariantAnimation(this))
    , m_opacityTransition(new QVariantAnimation(this))
{
    for (QVariantAnimation* transition : {m_filterTransition, m_opacityTransition}) {
        transition->setDuration(transitionDuration);
        transition->setEasingCurve(transitionCurve());
    }
    connect(m_filterTransition, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_strength = value.toReal();
        updateEnabled();
        update();
    });
    connect(m_filterTransition, &QVariantAnimation::finished, this, &NightModeEffect::updateEnabled);
    connect(m_opacityTransition, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_opacity = value.toReal();
        update();
    });
}

NightModeEffect* NightModeEffect::on(QWidget* widget)
{
    if (auto* existing = qobject_cast<NightModeEffect*>(widget->graphicsEffect())) {
        return existing;
    }
    auto* effect = new NightModeEffect(widget);
    widget->setGraphicsEffect(effect);
    effect->updateEnabled();
    return effect;
}

void NightModeEffect::refreshHidden(QWidget* root, bool animated)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets.prepend(root);
    for (QWidget* widget : widgets) {
        auto* effect = qobject_cast<NightModeEffect*>(widget->graphicsEffect());
        if (effect && effect->m_hidesAtNight) {
            effect->setOpacityTarget(isNightMode(widget) ? 0.0 : 1.0, animated);
        }
    }
}

void NightModeEffect::switchFilter(bool isOn)
{
    const qreal target = isOn ? 1.0 : 0.0;
    const bool first = !m_isOn.has_value();
    if (!first && *m_isOn == isOn) {
        return;
    }
    m_isOn = isOn;
    m_filterTransition->stop();
    if (first) {
        // What is first drawn in night mode is simply drawn that way.
        m_strength = target;
    } else {
        m_filterTransition->setStartValue(m_strength);
        m_filterTransition->setEndValue(target);
        m_filterTransition->start();
    }
    updateEnabled();
    update();
}

void NightModeEffect::setOpacityTarget(qreal target, bool animated)
{
    if (qFuzzyCompare(target, m_opacityTarget)) {
        return;
    }
    m_opacityTarget = target;
    m_opacityTransition->stop();
    if (animated) {
        m_opacityTransition->setStartValue(m_opacity);
        m_opacityTransition->setEndValue(target);
        m_opacityTransition->start();
    } else {
        m_opacity = target;
    }
    update();
}

void NightModeEffect::syncHidden()
{
    // A widget moved into (or out of) a night subtree since the last change
    // learns of it here, when it is next drawn.
    if (m_hidesAtNight && m_widget && m_opacityTransition->state() != QAbstractAnimation::Running) {
        const qreal target = isNightMode(m_widget) ? 0.0 : 1.0;
        if (!qFuzzyCompare(target, m_opacityTarget)) {
            m_opacityTarget = target;
            m_opacity = target;
        }
    }
}

void NightModeEffect::updateEnabled()
{
    // An idle filter steps aside, so a day-time widget draws exactly as without it.
    const bool filtering = m_strength > 0 || m_filterTransition->state() == QAbstractAnimation::Running;
    setEnabled(filtering || m_hidesAtNight);
}

QRgb NightModeEffect::filtered(QRgb premultiplied, qreal strength)
{
    return NightFilter::filtered(premultiplied, strength);
}

void NightModeEffect::filter(QImage& image, qreal strength)
{
    NightFilter::filter(image, strength);
}

void NightModeEffect::draw(QPainter* painter)
{
    syncHidden();
    if (m_opacity <= 0) {
        return;
    }
    const qreal opacity = painter->opacity() * m_opacity;
    // Qt 6.4 draws a widget's source at twice its offset when an ancestor's
    // effect is rendering it into a pixmap (nested effects), so there the
    // source always goes through a pixmap of its own.
    if (m_strength <= 0 && !insideAnotherEffect(m_widget)) {
        painter->save();
        painter->setOpacity(opacity);
        drawSource(painter);
        painter->restore();
        return;
    }
    QPoint offset;
    const QPixmap source = sourcePixmap(Qt::DeviceCoordinates, &offset, QGraphicsEffect::NoPad);
    if (source.isNull()) {
        return;
    }
    QImage image = source.toImage();
    filter(image, m_strength);
    painter->save();
    painter->setWorldTransform(QTransform());
    painter->setOpacity(opacity);
    painter->drawImage(offset, image);
    painter->restore();
}

} // namespace idlewyn
