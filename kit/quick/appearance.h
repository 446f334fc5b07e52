#pragma once

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>
#include <optional>

class QQuickItem;
class QVariantAnimation;

namespace idlewyn {

// The environment a session component draws in, attached to any item and
// inherited by everything under it:
//
//     ApplicationWindow {
//         Appearance.dark: Material.theme === Material.Dark  // else: the application palette
//         NightMode { isOn: settings.night; … }
//         Image { Appearance.hiddenAtNight: true }          // keeps its place, invisible at night
//     }
//
// `dark` and `isNightMode` are each read from the item itself or the nearest
// ancestor that sets them; with none, `dark` follows the application palette
// (dark when its window colour is, as the system's light/dark switches it)
// and `isNightMode` is false. Assigning undefined goes back to inheriting.
class QuickAppearance : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Appearance)
    QML_UNCREATABLE("Appearance is an attached property: Appearance.dark, Appearance.isNightMode, "
                    "Appearance.hiddenAtNight")
    QML_ATTACHED(QuickAppearance)
    Q_PROPERTY(bool dark READ isDark WRITE setDark RESET resetDark NOTIFY darkChanged FINAL)
    Q_PROPERTY(
        bool isNightMode READ isNightMode WRITE setNightMode RESET resetNightMode NOTIFY isNightModeChanged FINAL)
    Q_PROPERTY(bool hiddenAtNight READ hiddenAtNight WRITE setHiddenAtNight NOTIFY hiddenAtNightChanged FINAL)

public:
    explicit QuickAppearance(QObject* attachee);
    ~QuickAppearance() override;
    static QuickAppearance* qmlAttachedProperties(QObject* object);
    // The attached object of `item`, made if it has none yet.
    static QuickAppearance* of(QQuickItem* item);

    bool isDark() const { return m_effectiveDark; }
    void setDark(bool dark);
    void resetDark();

    bool isNightMode() const { return m_effectiveNight; }
    void setNightMode(bool isNightMode);
    void resetNightMode();
    // A change that a night mode's switch causes: what hides at night in the
    // subtree fades over the transition instead of jumping.
    void switchNightMode(bool isNightMode, bool animated);

    bool hiddenAtNight() const { return m_hiddenAtNight; }
    void setHiddenAtNight(bool hidden);

signals:
    void darkChanged();
    void isNightModeChanged();
    void hiddenAtNightChanged();

private:
    // Takes this item's values again from itself or its ancestors, then the
    // subtree's; `animated` carries a night-mode transition down to what hides.
    void refresh(bool animated);
    void refreshSubtree(bool animated);
    void watchAncestors();
    void applyHidden(bool animated);

    QPointer<QQuickItem> m_item;
    // The registry's key, which must go with this object even when the item
    // (which owns it) is already half destroyed and m_item reads null.
    const QQuickItem* m_key = nullptr;
    std::optional<bool> m_dark;
    std::optional<bool> m_night;
    bool m_effectiveDark = false;
    bool m_effectiveNight = false;
    bool m_hiddenAtNight = false;
    QList<QMetaObject::Connection> m_ancestorWatches;
    QVariantAnimation* m_fade = nullptr;
};

} // namespace idlewyn
