#pragma once

class QFocusEvent;

namespace vesperline {

// Whether a control that just got the focus should show its focus ring:
// only when the person is using the keyboard. Focus handed on because a
// clicked row disappeared (which Qt reports as tab focus) shows no ring.
bool showsFocusRing(const QFocusEvent* event);

// Starts noting keyboard and pointer input; controls that draw a focus ring
// call it when they are created, so the first Tab is seen too.
void watchInputForFocusRings();

} // namespace vesperline
