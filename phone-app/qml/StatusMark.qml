import QtQuick
import QtQuick.Controls.Material

// A session's status as a tinted mark with its label for screen readers.
Rectangle {
    id: mark
    property string status: "idle"
    property string label: ""
    property real size: 20
    readonly property bool dark: Material.theme === Material.Dark
    readonly property color tint: {
        switch (status) {
        case "working": return dark ? "#6CB8FF" : "#0062CC"
        case "waitingForInput": return dark ? "#FFA630" : "#B84A00"
        case "finished": return dark ? "#3DD66B" : "#1A7F37"
        case "failed": return dark ? "#FF7B72" : "#C62828"
        default: return dark ? "#A1A1A6" : "#636366"
        }
    }
    width: size
    height: size
    radius: size / 2
    color: status === "working" ? "transparent" : tint
    border.color: tint
    border.width: status === "working" ? 2 : 0
    Accessible.name: label
    Text {
        anchors.centerIn: parent
        color: mark.dark ? "#070B1C" : "#F6F2E9"
        font.pixelSize: mark.size * 0.6
        font.bold: true
        text: {
            switch (mark.status) {
            case "waitingForInput": return "!"
            case "finished": return "\u2713"
            case "failed": return "\u00D7"
            case "idle": return "z"
            default: return ""
            }
        }
    }
}
