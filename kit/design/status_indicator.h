#pragma once

#include "design/session_drawing.h"
#include "model/session_status.h"

#include <QWidget>

class QVariantAnimation;

namespace idlewyn {

// A session's status as its glyph (SessionStatus's symbol name) in the status
// tint, semibold, in a square `size` wide and high. Its accessible name is
// the status label ("Needs input", …).
//
// Setting a different status pulses the glyph once (a single fade out and
// back); setting the same status again, or building the widget, does not.
//
//     auto* indicator = new StatusIndicator(session.status, StatusIconSize::small, row);
//     indicator->setStatus(updated.status);   // pulses only if it changed
class StatusIndicator : public QWidget {
    Q_OBJECT

public:
    StatusIndicator(SessionStatus status, qreal size, QWidget* parent = nullptr);

    SessionStatus status() const { return m_status; }
    void setStatus(SessionStatus status);

    qreal iconSize() const { return m_size; }
    void setIconSize(qreal size);

    // The glyph's colour in this widget's current appearance.
    QColor resolvedColor() const;
    bool isPulsing() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr int pulseDuration = SessionDrawing::pulseDuration; // ms

signals:
    // A pulse has started (once per change of status).
    void pulsed();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    SessionStatus m_status;
    qreal m_size;
    QVariantAnimation* m_pulse;
};

} // namespace idlewyn
