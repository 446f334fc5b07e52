import QtQuick
import Idlewyn.Design

// A 32-wide bar and "done/total" in `tint`; one element to assistive
// technology, named "done of total tasks done".
TaskProgressItem {
    Accessible.role: Accessible.ProgressBar
    Accessible.name: accessibleLabel
}
