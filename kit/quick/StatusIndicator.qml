import QtQuick
import Idlewyn.Design

// A session's status as its glyph in the status colour, semibold, `size`
// wide and high; pulses once each time `status` changes. Read by assistive
// technology as the status label ("Needs input", …).
StatusIndicatorItem {
    Accessible.role: Accessible.Graphic
    Accessible.name: label
}
