import QtQuick
import Idlewyn.Design

// A count-up timer from `runningSince`, or the time since `updatedAt` in
// words, kept current while visible, with tabular digits.
ElapsedLabelItem {
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
