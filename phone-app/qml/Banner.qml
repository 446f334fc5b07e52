import QtQuick
import QtQuick.Controls.Material
import Idlewyn.Design
import Idlewyn.Design as Design
import QtQuick.Layouts

// A line of news above the list, in a tint of its kind: a symbol and a text.
Rectangle {
    id: banner
    property color tint
    property string symbol
    property alias text: label.text

    implicitHeight: row.implicitHeight + 2 * Spacing.m
    radius: Radius.card
    color: Design.Palette.withOpacity(tint, Design.Palette.tintFill)
    border.color: Design.Palette.withOpacity(tint, Design.Palette.tintBorder)
    Accessible.role: Accessible.StaticText
    Accessible.name: label.text

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: Spacing.m
        spacing: Spacing.s
        SymbolImage {
            Layout.alignment: Qt.AlignTop
            Layout.preferredWidth: StatusIconSize.small
            Layout.preferredHeight: StatusIconSize.small
            name: banner.symbol
            color: banner.tint
        }
        Label {
            id: label
            Layout.fillWidth: true
            font: Typography.supporting
            wrapMode: Text.Wrap
        }
    }
}
