#pragma once

#include "design/night_filter.h"

#include <QEasingCurve>
#include <QGraphicsEffect>
#include <QImage>
#include <QPointer>
#include <optional>

class QVariantAnimation;

namespace idlewyn {

// Night mode turns a widget and everything in it into red monochrome, and
// lets parts of it vanish while it is on.
//
//     nightMode(dashboard, settings.nightMode);   // again whenever it changes
//     hiddenAtNight(brightBanner);               // keeps its place, invisible at night
//
// isNightMode is an environment value: a widget reads it from itself or the
// nearest ancestor that sets it (nightMode() does), false when none does.
//
// Both nightMode() and hiddenAtNight() work through a NightModeEffect set as
// the widget's QGraphicsEffect, so such a widget must not carry another
// graphics effect (setting one replaces the other). Widgets only, main thread.

// The environment value at `widget`: its own or its nearest ancestor's.
bool isNightMode(const QWidget* widget);

// Sets (or, with nullopt, removes) the environment value on `widget` without
// filtering anything; hidden-at-night widgets inside follow at once.
void setNightModeEnvironment(QWidget* widget, std::optional<bool> isNightMode);

class NightModeEffect;

// Switches night mode for `widget` and its subtree: sets isNightMode there and,
// when on, filters every pixel, from the inside out: grayscale 1, contrast
// 1.3, multiply by Palette::nightRed. Off leaves pixels untouched. The first
// call takes effect at once; a later change of isOn animates (filter and
// hidden-at-night opacity alike) over 1.2 s, ease-in-out. Nested night modes
// each filter with their own isOn, and the innermost decides isNightMode for
// its subtree. Returns the widget's effect.
NightModeEffect* nightMode(QWidget* widget, bool isOn);

// Makes `widget` fully transparent while its environment says night, and
// opaque otherwise; it keeps its size and place in the layout. A nightMode()
// on the same widget counts as its environment. Returns the widget's effect.
NightModeEffect* hiddenAtNight(QWidget* widget);

class NightModeEffect : public QGraphicsEffect {
    Q_OBJECT

public:
    static constexpr int transitionDuration = NightFilter::transitionDuration; // ms
    // Ease-in-out: the cubic Bézier (0.42, 0) (0.58, 1).
    static QEasingCurve transitionCurve();

    // How far the night filter is applied: 0 off, 1 fully on.
    qreal filterStrength() const { return m_strength; }
    // Opacity of the content: 1 shown, 0 hidden at night.
    qreal contentOpacity() const { return m_opacity; }
    bool hidesAtNight() const { return m_hidesAtNight; }

    // The running transitions (step them with setCurrentTime to inspect a
    // moment of the animation).
    QVariantAnimation* filterTransition() const { return m_filterTransition; }
    QVariantAnimation* opacityTransition() const { return m_opacityTransition; }

    // The filter at a given strength, for one premultiplied ARGB pixel and
    // for a whole image (converted to premultiplied ARGB32 if needed).
    // Strength 0 returns the input; 1 gives the luminance, contrast 1.3,
    // times nightRed. Between, every parameter moves linearly with strength.
    static QRgb filtered(QRgb premultiplied, qreal strength);
    static void filter(QImage& image, qreal strength);

protected:
    void draw(QPainter* painter) override;

private:
    friend NightModeEffect* nightMode(QWidget*, bool);
    friend NightModeEffect* hiddenAtNight(QWidget*);
    friend void setNightModeEnvironment(QWidget*, std::optional<bool>);

    explicit NightModeEffect(QWidget* widget);
    static NightModeEffect* on(QWidget* widget);
    // Brings every hidden-at-night widget in root's subtree in line with its environment.
    static void refreshHidden(QWidget* root, bool animated);

    void switchFilter(bool isOn);
    void setOpacityTarget(qreal target, bool animated);
    void syncHidden();
    void updateEnabled();

    QPointer<QWidget> m_widget;
    std::optional<bool> m_isOn;
    bool m_hidesAtNight = false;
    qreal m_strength = 0;
    qreal m_opacity = 1;
    qreal m_opacityTarget = 1;
    QVariantAnimation* m_filterTransition;
    QVariantAnimation* m_opacityTransition;
};

} // namespace idlewyn
