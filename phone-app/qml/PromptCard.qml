import QtQuick
import QtQuick.Controls.Material
import QtQuick.Layouts

// A permission prompt: which tool, what exactly it wants to do (in full), and
// the answers. "Always" is offered only with the rule it would add, shown.
Pane {
    id: card
    property string toolName
    property string detail
    property string alwaysRule
    property bool busy: false
    signal answered(string decision)

    Material.elevation: 2
    padding: 16

    ColumnLayout {
        width: parent.width
        spacing: 10
        Label {
            text: qsTr("%1 wants permission").arg(card.toolName)
            font.pixelSize: 17
            font.weight: Font.DemiBold
            Layout.fillWidth: true
            wrapMode: Text.Wrap
        }
        TextArea {
            objectName: "promptDetail"
            Layout.fillWidth: true
            text: card.detail
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.WrapAnywhere
            font.family: "monospace"
            font.pixelSize: 13
            background: Rectangle {
                radius: 8
                color: Qt.alpha(card.Material.foreground, 0.07)
            }
        }
        Label {
            objectName: "alwaysRule"
            visible: card.alwaysRule.length > 0
            Layout.fillWidth: true
            text: qsTr("Always adds the rule %1").arg(card.alwaysRule)
            wrapMode: Text.WrapAnywhere
            font.pixelSize: 12
            opacity: 0.75
        }
        RowLayout {
            Layout.fillWidth: true
            spacing: 8
            Button {
                objectName: "denyButton"
                text: qsTr("Deny")
                enabled: !card.busy
                Layout.fillWidth: true
                onClicked: card.answered("deny")
            }
            Button {
                objectName: "alwaysButton"
                text: qsTr("Always")
                visible: card.alwaysRule.length > 0
                enabled: !card.busy
                Layout.fillWidth: true
                onClicked: card.answered("always")
            }
            Button {
                objectName: "allowButton"
                text: qsTr("Allow")
                highlighted: true
                enabled: !card.busy
                Layout.fillWidth: true
                onClicked: card.answered("allow")
            }
        }
    }
}
