#pragma once

#include "design/fill_style.h"

#include <QWidget>

namespace idlewyn {

// What a session is doing right now, on one line: optionally the "terminal"
// glyph, then the text in a monospaced font (Typography::mono, or caption 2
// monospaced when compact), filled with `style`. Text that does not fit loses
// characters from its middle, so both the command and its last argument
// stay readable ("npm run test -- …/checkout_flow.test.ts"). Line breaks in the
// text show as spaces.
//
//     new ActivityLine(*session.currentActivity(), FillStyle::secondary(), false, false, row);
class ActivityLine : public QWidget {
    Q_OBJECT

public:
    explicit ActivityLine(const QString& text, const FillStyle& style = FillStyle::primary(), bool showsIcon = false,
                          bool compact = false, QWidget* parent = nullptr);

    const QString& text() const { return m_text; }
    void setText(const QString& text);
    const FillStyle& fillStyle() const { return m_style; }
    void setFillStyle(const FillStyle& style);
    bool showsIcon() const { return m_showsIcon; }
    void setShowsIcon(bool showsIcon);
    bool isCompact() const { return m_compact; }
    void setCompact(bool compact);

    // The text as drawn at the current width, ellipsis included.
    QString displayedText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void inputsChanged();

    QString m_text;
    FillStyle m_style;
    bool m_showsIcon;
    bool m_compact;
};

} // namespace idlewyn
