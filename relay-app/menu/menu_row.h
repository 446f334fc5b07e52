#pragma once

#include "menu/focus_ring.h"

#include <QString>
#include <optional>

namespace vesperline {

// One clickable row of the menu: a symbol, a title and an optional caption
// under it. The caption is shortened at its start, so the end of a long path
// stays readable.
//
// Its look (what other toolkits call a button style): 4/8 insets, the whole
// row reacts to the pointer, a rounded (radius 8) accent fill at 0.28 while
// pressed and 0.15 while hovered, a 2-pixel accent ring while focused, 0.55
// opacity when disabled — and a disabled row shows no hover fill.
// Keyboard: focusable with Tab; Space, Return and Enter click it.
class MenuRow : public FocusRingButton {
    Q_OBJECT

public:
    MenuRow(QString title, QString systemImage, std::optional<QString> caption = std::nullopt,
            QWidget* parent = nullptr);

    QString title() const { return text(); }
    const QString& systemImage() const { return m_systemImage; }
    const std::optional<QString>& caption() const { return m_caption; }
    void setCaption(const std::optional<QString>& caption);
    void setSystemImage(const QString& name);

    bool isHovered() const { return m_hovered; }
    // The caption as drawn at the current width.
    QString displayedCaption() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr int verticalInset = 4;
    static constexpr int horizontalInset = 8;
    static constexpr int cornerRadius = 8;
    static constexpr qreal pressedOpacity = 0.28;
    static constexpr qreal hoveredOpacity = 0.15;
    static constexpr qreal disabledOpacity = 0.55;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool hitButton(const QPoint& pos) const override;

private:
    int iconSide() const;
    int textLeft() const;

    QString m_systemImage;
    std::optional<QString> m_caption;
    bool m_hovered = false;
};

} // namespace vesperline
