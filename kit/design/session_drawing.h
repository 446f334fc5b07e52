#pragma once

#include "model/agent_provider.h"
#include "model/session_status.h"

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QRectF>
#include <QSizeF>
#include <QString>

class QPainter;

namespace idlewyn {

// What the session components draw, as functions of their inputs and the
// colours already resolved for an appearance: the Widgets components and the
// Qt Quick items both paint through these, so a session looks the same in
// either. Qt Gui only; main (GUI) thread, as the symbol catalogue is.
namespace SessionDrawing {

// StatusIndicator: the status glyph, semibold, in a square `size` wide,
// centred in `bounds`. pulse is how far a running pulse has got (0…1), or
// a negative number when none runs: the glyph fades to a third and back,
// smoothly at both ends.
inline constexpr int pulseDuration = 800; // ms
qreal pulseOpacity(qreal pulse);
void statusIndicator(QPainter& painter, const QRectF& bounds, SessionStatus status, qreal size, const QColor& color,
                     qreal pulse);

// ProviderBadge: the glyph and title in a capsule of the foreground colour at
// Palette::Tint::fill, padded 8 across and 2 down; the glyph as tall as the
// font's em. `font` is the badge's (Typography::metaSmallStrong).
QString providerBadgeTitle(AgentProvider provider, bool compact);
QSizeF providerBadgeSize(const QFont& font, AgentProvider provider, bool compact);
void providerBadge(QPainter& painter, const QRectF& bounds, const QFont& font, AgentProvider provider, bool compact,
                   const QColor& foreground);

// TaskProgressView: value min(done, total) out of max(total, 1); the texts
// show the inputs unchanged. Both texts are translatable in the context
// "idlewyn::TaskProgressView" ("%1/%2", "%1 of %2 tasks done").
struct TaskProgress {
    int done = 0;
    int total = 0;

    double value() const;
    double maximum() const;
    double fraction() const; // 0…1
    QString text() const;
    QString accessibleLabel() const;
};
inline constexpr int taskProgressBarHeight = 4;
QSizeF taskProgressSize(const QFont& font, const TaskProgress& progress);
// The 32-wide bar and, 4 to its right, the text with tabular digits, both in
// `color`, centred vertically in `bounds`.
void taskProgress(QPainter& painter, const QRectF& bounds, const QFont& font, const TaskProgress& progress,
                  const QColor& color);

// ActivityLine: the text on one line (line breaks as spaces), losing
// characters from its middle when wider than `width`, after an optional
// "terminal" glyph as tall as the font's em and 4 from the text.
// Typography::mono, or caption 2 monospaced when compact.
const QFont& activityLineFont(bool compact);
QString singleLine(const QString& text);
QString elidedActivity(const QFont& font, const QString& text, bool showsIcon, qreal width);
QSizeF activityLineSize(const QFont& font, const QString& text, bool showsIcon);
qreal activityLineMinimumWidth(const QFont& font, bool showsIcon);
void activityLine(QPainter& painter, const QRectF& bounds, const QFont& font, const QString& text, bool showsIcon,
                  const QBrush& brush);

} // namespace SessionDrawing

} // namespace idlewyn
