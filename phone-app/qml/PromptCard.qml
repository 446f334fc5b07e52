import QtQuick
import QtQuick.Controls.Material
import Idlewyn.Design
import Idlewyn.Design as Design
import QtQuick.Layouts

// A permission prompt: which tool, what exactly it wants to do (in full), and
// the answers. "Always" is offered only with the rule it would add, shown.
// Once the prompt has an outcome, the outcome stands where the answers were.
Pane {
    id: card
    property string toolName
    property string detail
    property string alwaysRule
    // What became of the prompt; empty while it waits.
    property string outcome
    // An answer is on its way.
    property bool busy: false
    signal answered(string decision)

    readonly property color tint: Design.Palette.statusTint(outcome.length > 0 ? "idle" : "waitingForInput", Appearance.dark)

    padding: Spacing.l
    background: Rectangle {
        radius: Radius.panel
        color: Design.Palette.withOpacity(card.tint, Design.Palette.tintFill)
        border.color: Design.Palette.withOpacity(card.tint, Design.Palette.tintStrongBorder)
    }

    ColumnLayout {
        width: parent.width
        spacing: Spacing.m
        RowLayout {
            Layout.fillWidth: true
            spacing: Spacing.s
            SymbolImage {
                Layout.preferredWidth: StatusIconSize.medium
                Layout.preferredHeight: StatusIconSize.medium
                name: "hand.raised.fill"
                color: card.tint
                weight: SymbolImage.Semibold
            }
            Label {
                Layout.fillWidth: true
                text: qsTr("%1 wants permission").arg(card.toolName)
                font: Typography.headline
                wrapMode: Text.Wrap
            }
        }
        TextArea {
            objectName: "promptDetail"
            Layout.fillWidth: true
            text: card.detail
            readOnly: true
            selectByMouse: true
            wrapMode: TextEdit.WrapAtWordBoundaryOrAnywhere
            font: Typography.monoBody
            background: Rectangle {
                radius: Radius.small
                color: Design.Palette.withOpacity(card.Material.foreground, 0.07)
            }
        }
        Label {
            objectName: "alwaysRule"
            visible: card.alwaysRule.length > 0 && card.outcome.length === 0
            Layout.fillWidth: true
            text: qsTr("“Always” adds the rule %1").arg(card.alwaysRule)
            wrapMode: Text.WrapAnywhere
            font: Typography.meta
            opacity: 0.75
        }
        RowLayout {
            objectName: "answers"
            visible: card.outcome.length === 0
            Layout.fillWidth: true
            spacing: Spacing.s
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
        Label {
            objectName: "promptOutcome"
            visible: text.length > 0
            Layout.fillWidth: true
            text: card.outcome
            font: Typography.metaStrong
            wrapMode: Text.Wrap
        }
    }
}
