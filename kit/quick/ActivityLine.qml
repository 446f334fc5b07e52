import QtQuick
import Idlewyn.Design

// What a session is doing, on one line in a monospaced font, losing
// characters from its middle when it does not fit.
ActivityLineItem {
    Accessible.role: Accessible.StaticText
    Accessible.name: text
}
