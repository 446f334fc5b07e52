#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QQuickPaintedItem>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

class QVariantAnimation;

namespace idlewyn {

class QuickAppearance;

// Items that draw through the kit's drawing core in the appearance their
// Appearance environment gives them, redrawn when it changes.
class AppearanceItem : public QQuickPaintedItem {
    Q_OBJECT

public:
    explicit AppearanceItem(QQuickItem* parent = nullptr);

protected:
    bool isDark() const;
    // Called when the appearance changes; redraws by default.
    virtual void appearanceChanged();

private:
    QuickAppearance* m_appearance;
};

// Any glyph of the symbol catalogue in any colour, drawn at the screen's
// pixel ratio (crisp at any scale); an unknown name draws nothing.
//
//     SymbolImage { name: "moon.stars.fill"; color: Palette.moon; width: 20; height: 20 }
class SymbolImage : public QQuickPaintedItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString name READ name WRITE setName NOTIFY nameChanged FINAL)
    Q_PROPERTY(QColor color READ color WRITE setColor NOTIFY colorChanged FINAL)
    Q_PROPERTY(Weight weight READ weight WRITE setWeight NOTIFY weightChanged FINAL)
    Q_PROPERTY(bool known READ isKnown NOTIFY nameChanged FINAL)

public:
    enum Weight { Regular, Medium, Semibold, Bold };
    Q_ENUM(Weight)

    explicit SymbolImage(QQuickItem* parent = nullptr);

    const QString& name() const { return m_name; }
    void setName(const QString& name);
    const QColor& color() const { return m_color; }
    void setColor(const QColor& color);
    Weight weight() const { return m_weight; }
    void setWeight(Weight weight);
    bool isKnown() const;

    void paint(QPainter* painter) override;

signals:
    void nameChanged();
    void colorChanged();
    void weightChanged();

private:
    QString m_name;
    QColor m_color = Qt::black;
    Weight m_weight = Regular;
};

// The drawing of StatusIndicator; use StatusIndicator, which adds its
// accessible name. `status` is a wire value; any other word reads as idle.
class StatusIndicatorItem : public AppearanceItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString status READ status WRITE setStatus NOTIFY statusChanged FINAL)
    Q_PROPERTY(qreal size READ size WRITE setSize NOTIFY sizeChanged FINAL)
    Q_PROPERTY(QString label READ label NOTIFY statusChanged FINAL)
    Q_PROPERTY(QString symbolName READ symbolName NOTIFY statusChanged FINAL)
    Q_PROPERTY(QColor resolvedColor READ resolvedColor NOTIFY resolvedColorChanged FINAL)
    Q_PROPERTY(bool pulsing READ isPulsing NOTIFY pulsingChanged FINAL)

public:
    explicit StatusIndicatorItem(QQuickItem* parent = nullptr);

    const QString& status() const { return m_status; }
    void setStatus(const QString& status);
    qreal size() const { return m_size; }
    void setSize(qreal size);
    QString label() const;
    QString symbolName() const;
    QColor resolvedColor() const;
    bool isPulsing() const;

    void paint(QPainter* painter) override;

signals:
    void statusChanged();
    void sizeChanged();
    void resolvedColorChanged();
    void pulsingChanged();
    // A pulse has started (once per change of status, never for the first one).
    void pulsed();

protected:
    void appearanceChanged() override;

private:
    QString m_status = QStringLiteral("idle");
    qreal m_size = 20;
    QVariantAnimation* m_pulse;
};

// The drawing of ProviderBadge; use ProviderBadge. `provider` is a wire value
// ("claude", "codex"); any other draws nothing.
class ProviderBadgeItem : public AppearanceItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString provider READ provider WRITE setProvider NOTIFY inputsChanged FINAL)
    Q_PROPERTY(bool compact READ isCompact WRITE setCompact NOTIFY inputsChanged FINAL)
    Q_PROPERTY(QString title READ title NOTIFY inputsChanged FINAL)

public:
    explicit ProviderBadgeItem(QQuickItem* parent = nullptr);

    const QString& provider() const { return m_provider; }
    void setProvider(const QString& provider);
    bool isCompact() const { return m_compact; }
    void setCompact(bool compact);
    QString title() const;

    void paint(QPainter* painter) override;

signals:
    void inputsChanged();

private:
    void resize();

    QString m_provider;
    bool m_compact = false;
};

// The drawing of TaskProgressView; use TaskProgressView.
class TaskProgressItem : public AppearanceItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(int done READ done WRITE setDone NOTIFY progressChanged FINAL)
    Q_PROPERTY(int total READ total WRITE setTotal NOTIFY progressChanged FINAL)
    Q_PROPERTY(QColor tint READ tint WRITE setTint RESET resetTint NOTIFY tintChanged FINAL)
    Q_PROPERTY(double value READ value NOTIFY progressChanged FINAL)
    Q_PROPERTY(double maximum READ maximum NOTIFY progressChanged FINAL)
    Q_PROPERTY(double fraction READ fraction NOTIFY progressChanged FINAL)
    Q_PROPERTY(QString text READ text NOTIFY progressChanged FINAL)
    Q_PROPERTY(QString accessibleLabel READ accessibleLabel NOTIFY progressChanged FINAL)

public:
    explicit TaskProgressItem(QQuickItem* parent = nullptr);

    int done() const { return m_done; }
    void setDone(int done);
    int total() const { return m_total; }
    void setTotal(int total);
    // The colour given, or the working status colour of the appearance.
    QColor tint() const;
    void setTint(const QColor& tint);
    void resetTint();
    double value() const;
    double maximum() const;
    double fraction() const;
    QString text() const;
    QString accessibleLabel() const;

    void paint(QPainter* painter) override;

signals:
    void progressChanged();
    void tintChanged();

protected:
    void appearanceChanged() override;

private:
    void progressSet();

    int m_done = 0;
    int m_total = 0;
    QColor m_tint;
};

// The drawing of ElapsedLabel; use ElapsedLabel. An invalid runningSince
// (the default, or undefined) means none: the time since updatedAt in words.
class ElapsedLabelItem : public AppearanceItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QDateTime runningSince READ runningSince WRITE setRunningSince RESET resetRunningSince NOTIFY
                   timesChanged FINAL)
    Q_PROPERTY(QDateTime updatedAt READ updatedAt WRITE setUpdatedAt NOTIFY timesChanged FINAL)
    Q_PROPERTY(QFont font READ font WRITE setFont NOTIFY fontChanged FINAL)
    Q_PROPERTY(QColor color READ color WRITE setColor RESET resetColor NOTIFY colorChanged FINAL)
    Q_PROPERTY(Qt::Alignment alignment READ alignment WRITE setAlignment NOTIFY alignmentChanged FINAL)
    Q_PROPERTY(QString text READ text NOTIFY textChanged FINAL)
    Q_PROPERTY(bool showsTimer READ showsTimer NOTIFY timesChanged FINAL)

public:
    explicit ElapsedLabelItem(QQuickItem* parent = nullptr);
    ~ElapsedLabelItem() override;

    const QDateTime& runningSince() const { return m_runningSince; }
    void setRunningSince(const QDateTime& since);
    void resetRunningSince();
    const QDateTime& updatedAt() const { return m_updatedAt; }
    void setUpdatedAt(const QDateTime& at);
    const QFont& font() const { return m_font; }
    void setFont(const QFont& font);
    // The colour given, or the appearance's primary text colour.
    QColor color() const;
    void setColor(const QColor& color);
    void resetColor();
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment);
    const QString& text() const { return m_shown; }
    bool showsTimer() const { return m_runningSince.isValid(); }

    void paint(QPainter* painter) override;

signals:
    void timesChanged();
    void fontChanged();
    void colorChanged();
    void alignmentChanged();
    void textChanged();

protected:
    void itemChange(ItemChange change, const ItemChangeData& value) override;
    void appearanceChanged() override;

private:
    void refresh();
    void follow(bool inWindow);

    QDateTime m_runningSince;
    QDateTime m_updatedAt;
    QFont m_font;
    QColor m_color;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
    QString m_shown;
};

// The drawing of ActivityLine; use ActivityLine. `style` is a colour, or one
// of the levels "primary", "secondary", "tertiary", "quaternary" of the
// appearance's text colour (the default, "primary").
class ActivityLineItem : public AppearanceItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY inputsChanged FINAL)
    Q_PROPERTY(QVariant style READ style WRITE setStyle NOTIFY styleChanged FINAL)
    Q_PROPERTY(bool showsIcon READ showsIcon WRITE setShowsIcon NOTIFY inputsChanged FINAL)
    Q_PROPERTY(bool compact READ isCompact WRITE setCompact NOTIFY inputsChanged FINAL)
    Q_PROPERTY(QString displayedText READ displayedText NOTIFY displayedTextChanged FINAL)
    Q_PROPERTY(QColor resolvedColor READ resolvedColor NOTIFY styleChanged FINAL)

public:
    explicit ActivityLineItem(QQuickItem* parent = nullptr);

    const QString& text() const { return m_text; }
    void setText(const QString& text);
    const QVariant& style() const { return m_style; }
    void setStyle(const QVariant& style);
    bool showsIcon() const { return m_showsIcon; }
    void setShowsIcon(bool showsIcon);
    bool isCompact() const { return m_compact; }
    void setCompact(bool compact);
    QString displayedText() const;
    QColor resolvedColor() const;

    void paint(QPainter* painter) override;

signals:
    void inputsChanged();
    void styleChanged();
    void displayedTextChanged();

protected:
    void geometryChange(const QRectF& newGeometry, const QRectF& oldGeometry) override;
    void appearanceChanged() override;

private:
    void inputsSet();

    QString m_text;
    QVariant m_style = QStringLiteral("primary");
    bool m_showsIcon = false;
    bool m_compact = false;
};

// The switch of NightMode; use NightMode, which adds the filter. Sets
// Appearance.isNightMode for its subtree; filterStrength moves to isOn (at
// once the first time, over the 1.2 s ease-in-out transition after that).
class NightModeItem : public QQuickItem {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool isOn READ isOn WRITE setOn NOTIFY isOnChanged FINAL)
    Q_PROPERTY(qreal filterStrength READ filterStrength NOTIFY filterStrengthChanged FINAL)
    Q_PROPERTY(QColor nightRed READ nightRed CONSTANT FINAL)

public:
    explicit NightModeItem(QQuickItem* parent = nullptr);

    bool isOn() const { return m_isOn; }
    void setOn(bool isOn);
    qreal filterStrength() const { return m_strength; }
    static QColor nightRed();

signals:
    void isOnChanged();
    void filterStrengthChanged();

protected:
    void componentComplete() override;

private:
    bool m_isOn = false;
    qreal m_strength = 0;
    QVariantAnimation* m_transition;
};

} // namespace idlewyn
