#pragma once

#include "design/spacing.h"

#include <QColor>
#include <QFont>
#include <QObject>
#include <QtQml/qqmlregistration.h>

// The design tokens as QML singletons, read from the C++ tokens (one source):
//
//     Text { font: Typography.rowTitle; color: Palette.statusTint(status, Appearance.dark) }
//     RowLayout { spacing: Spacing.s }
namespace idlewyn {

class QuickTypography : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Typography)
    QML_SINGLETON
    Q_PROPERTY(QFont display READ display CONSTANT FINAL)
    Q_PROPERTY(QFont bigCount READ bigCount CONSTANT FINAL)
    Q_PROPERTY(QFont count READ count CONSTANT FINAL)
    Q_PROPERTY(QFont countLabel READ countLabel CONSTANT FINAL)
    Q_PROPERTY(QFont title READ title CONSTANT FINAL)
    Q_PROPERTY(QFont screenTitle READ screenTitle CONSTANT FINAL)
    Q_PROPERTY(QFont headline READ headline CONSTANT FINAL)
    Q_PROPERTY(QFont heroGlyph READ heroGlyph CONSTANT FINAL)
    Q_PROPERTY(QFont body READ body CONSTANT FINAL)
    Q_PROPERTY(QFont rowTitle READ rowTitle CONSTANT FINAL)
    Q_PROPERTY(QFont rowTitleCompact READ rowTitleCompact CONSTANT FINAL)
    Q_PROPERTY(QFont supporting READ supporting CONSTANT FINAL)
    Q_PROPERTY(QFont meta READ meta CONSTANT FINAL)
    Q_PROPERTY(QFont metaStrong READ metaStrong CONSTANT FINAL)
    Q_PROPERTY(QFont metaSmall READ metaSmall CONSTANT FINAL)
    Q_PROPERTY(QFont metaSmallStrong READ metaSmallStrong CONSTANT FINAL)
    Q_PROPERTY(QFont mono READ mono CONSTANT FINAL)
    Q_PROPERTY(QFont monoBody READ monoBody CONSTANT FINAL)
    Q_PROPERTY(QFont number READ number CONSTANT FINAL)
    Q_PROPERTY(QFont numberSmall READ numberSmall CONSTANT FINAL)
    Q_PROPERTY(QFont numberLarge READ numberLarge CONSTANT FINAL)

public:
    using QObject::QObject;
    static QFont display();
    static QFont bigCount();
    static QFont count();
    static QFont countLabel();
    static QFont title();
    static QFont screenTitle();
    static QFont headline();
    static QFont heroGlyph();
    static QFont body();
    static QFont rowTitle();
    static QFont rowTitleCompact();
    static QFont supporting();
    static QFont meta();
    static QFont metaStrong();
    static QFont metaSmall();
    static QFont metaSmallStrong();
    static QFont mono();
    static QFont monoBody();
    static QFont number();
    static QFont numberSmall();
    static QFont numberLarge();
};

// Fixed colours and opacities as properties; adaptive colours as functions of
// the appearance, so a binding that passes Appearance.dark follows it.
class QuickPalette : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Palette)
    QML_SINGLETON
    Q_PROPERTY(QColor ink READ ink CONSTANT FINAL)
    Q_PROPERTY(QColor inkDeep READ inkDeep CONSTANT FINAL)
    Q_PROPERTY(QColor moon READ moon CONSTANT FINAL)
    Q_PROPERTY(QColor nightRed READ nightRed CONSTANT FINAL)
    Q_PROPERTY(QColor skyGlow READ skyGlow CONSTANT FINAL)
    Q_PROPERTY(QColor liveActivityBackground READ liveActivityBackground CONSTANT FINAL)
    Q_PROPERTY(QColor onDarkPrimary READ onDarkPrimary CONSTANT FINAL)
    Q_PROPERTY(QColor onDarkSecondary READ onDarkSecondary CONSTANT FINAL)
    Q_PROPERTY(QColor onDarkTertiary READ onDarkTertiary CONSTANT FINAL)
    Q_PROPERTY(QColor onDarkCard READ onDarkCard CONSTANT FINAL)
    Q_PROPERTY(QColor onDarkCardRaised READ onDarkCardRaised CONSTANT FINAL)
    Q_PROPERTY(qreal tintFill READ tintFill CONSTANT FINAL)
    Q_PROPERTY(qreal tintStrongFill READ tintStrongFill CONSTANT FINAL)
    Q_PROPERTY(qreal tintBorder READ tintBorder CONSTANT FINAL)
    Q_PROPERTY(qreal tintStrongBorder READ tintStrongBorder CONSTANT FINAL)
    Q_PROPERTY(qreal tintHover READ tintHover CONSTANT FINAL)
    Q_PROPERTY(qreal tintPressed READ tintPressed CONSTANT FINAL)
    Q_PROPERTY(qreal disabledOpacity READ disabledOpacity CONSTANT FINAL)

public:
    using QObject::QObject;
    static QColor ink();
    static QColor inkDeep();
    static QColor moon();
    static QColor nightRed();
    static QColor skyGlow();
    static QColor liveActivityBackground();
    static QColor onDarkPrimary();
    static QColor onDarkSecondary();
    static QColor onDarkTertiary();
    static QColor onDarkCard();
    static QColor onDarkCardRaised();
    static qreal tintFill();
    static qreal tintStrongFill();
    static qreal tintBorder();
    static qreal tintStrongBorder();
    static qreal tintHover();
    static qreal tintPressed();
    static qreal disabledOpacity();

    // The status colour for a wire status ("working", "waitingForInput",
    // "finished", "failed", "idle"; any other word reads as idle).
    Q_INVOKABLE static QColor statusTint(const QString& status, bool dark);
    // The provider colour ("claude", "codex"): Palette.providerBadge for both.
    Q_INVOKABLE static QColor providerTint(const QString& provider, bool dark);
    Q_INVOKABLE static QColor onStatusFill(bool dark);
    Q_INVOKABLE static QColor providerBadge(bool dark);
    // The adaptive colour rule for colours of the application's own.
    Q_INVOKABLE static QColor adaptive(const QColor& light, const QColor& dark, bool isDark);
    // Whether a surface of this colour is a dark appearance (relative
    // luminance below one half): Palette.isDark(palette.window).
    Q_INVOKABLE static bool isDark(const QColor& window);
    // `color` with its alpha multiplied by `opacity`: Palette.withOpacity(tint, Palette.tintFill).
    Q_INVOKABLE static QColor withOpacity(const QColor& color, qreal opacity);
};

class QuickSpacing : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Spacing)
    QML_SINGLETON
    Q_PROPERTY(int hairline MEMBER m_hairline CONSTANT FINAL)
    Q_PROPERTY(int xs MEMBER m_xs CONSTANT FINAL)
    Q_PROPERTY(int s MEMBER m_s CONSTANT FINAL)
    Q_PROPERTY(int m MEMBER m_m CONSTANT FINAL)
    Q_PROPERTY(int l MEMBER m_l CONSTANT FINAL)
    Q_PROPERTY(int xl MEMBER m_xl CONSTANT FINAL)

public:
    using QObject::QObject;

private:
    const int m_hairline = Spacing::hairline;
    const int m_xs = Spacing::xs;
    const int m_s = Spacing::s;
    const int m_m = Spacing::m;
    const int m_l = Spacing::l;
    const int m_xl = Spacing::xl;
};

class QuickRadius : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Radius)
    QML_SINGLETON
    Q_PROPERTY(int small MEMBER m_small CONSTANT FINAL)
    Q_PROPERTY(int card MEMBER m_card CONSTANT FINAL)
    Q_PROPERTY(int panel MEMBER m_panel CONSTANT FINAL)

public:
    using QObject::QObject;

private:
    const int m_small = Radius::small;
    const int m_card = Radius::card;
    const int m_panel = Radius::panel;
};

class QuickStatusIconSize : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(StatusIconSize)
    QML_SINGLETON
    Q_PROPERTY(int small MEMBER m_small CONSTANT FINAL)
    Q_PROPERTY(int medium MEMBER m_medium CONSTANT FINAL)
    Q_PROPERTY(int large MEMBER m_large CONSTANT FINAL)

public:
    using QObject::QObject;

private:
    const int m_small = StatusIconSize::small;
    const int m_medium = StatusIconSize::medium;
    const int m_large = StatusIconSize::large;
};

class QuickLayout : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Layout)
    QML_SINGLETON
    Q_PROPERTY(int iconColumn MEMBER m_iconColumn CONSTANT FINAL)
    Q_PROPERTY(int timerColumn MEMBER m_timerColumn CONSTANT FINAL)
    Q_PROPERTY(int dashboardCardMinWidth MEMBER m_dashboardCardMinWidth CONSTANT FINAL)
    Q_PROPERTY(int dashboardCardMinHeight MEMBER m_dashboardCardMinHeight CONSTANT FINAL)
    Q_PROPERTY(int progressBarWidth MEMBER m_progressBarWidth CONSTANT FINAL)
    Q_PROPERTY(int outputPanelHeight MEMBER m_outputPanelHeight CONSTANT FINAL)

public:
    using QObject::QObject;

private:
    const int m_iconColumn = Layout::iconColumn;
    const int m_timerColumn = Layout::timerColumn;
    const int m_dashboardCardMinWidth = Layout::dashboardCardMinWidth;
    const int m_dashboardCardMinHeight = Layout::dashboardCardMinHeight;
    const int m_progressBarWidth = Layout::progressBarWidth;
    const int m_outputPanelHeight = Layout::outputPanelHeight;
};

} // namespace idlewyn
