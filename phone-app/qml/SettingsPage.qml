import QtQuick
import QtQuick.Controls.Material
import Idlewyn.Design
import Idlewyn.Design as Design
import QtQuick.Layouts
import Vesperline.Core

// The paired relays per agent, away mode, night mode, and quitting.
Page {
    id: page
    property var client: Client
    signal pairRequested()
    title: qsTr("Settings")
    Component.onCompleted: page.client.checkAwayMode()

    Flickable {
        anchors.fill: parent
        contentHeight: column.implicitHeight + 2 * Spacing.l
        clip: true
        ColumnLayout {
            id: column
            x: Spacing.l
            y: Spacing.l
            width: parent.width - 2 * Spacing.l
            spacing: Spacing.s
            Label {
                text: qsTr("Paired relays")
                font: Typography.headline
            }
            Label {
                visible: page.client.connections.length === 0
                text: qsTr("Nothing is paired yet.")
                opacity: 0.7
            }
            Repeater {
                model: page.client.connections
                delegate: Pane {
                    required property var modelData
                    Layout.fillWidth: true
                    padding: Spacing.m
                    background: Rectangle {
                        radius: Radius.card
                        color: "transparent"
                        border.color: Design.Palette.withOpacity(Design.Palette.providerBadge(Appearance.dark), Design.Palette.tintStrongBorder)
                    }
                    RowLayout {
                        width: parent.width
                        ColumnLayout {
                            Layout.fillWidth: true
                            spacing: Spacing.xs
                            ProviderBadge {
                                provider: modelData.provider
                            }
                            Label {
                                text: qsTr("%1 on %2").arg(modelData.account).arg(modelData.server)
                                font: Typography.supporting
                                wrapMode: Text.WrapAnywhere
                                Layout.fillWidth: true
                            }
                            Label {
                                text: (modelData.shortPin.length > 0 ? qsTr("Certificate %1").arg(modelData.shortPin)
                                                                      : qsTr("No certificate (plain HTTP)"))
                                      + " · " + qsTr("since %1").arg(modelData.since.toLocaleDateString(Qt.locale(), Locale.ShortFormat))
                                font: Typography.mono
                                opacity: 0.7
                            }
                        }
                        Button {
                            objectName: "unpairButton_" + modelData.provider
                            text: qsTr("Unpair")
                            flat: true
                            onClicked: page.client.unpairProvider(modelData.provider)
                        }
                    }
                }
            }
            Button {
                objectName: "pairAnotherButton"
                text: qsTr("Pair with a Relay…")
                onClicked: page.pairRequested()
            }
            MenuSeparator { Layout.fillWidth: true }
            RowLayout {
                Layout.fillWidth: true
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Label { text: qsTr("Away mode") }
                    Label {
                        text: qsTr("Claude’s permission prompts wait for the phone")
                        font: Typography.meta
                        opacity: 0.7
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                }
                Switch {
                    objectName: "awayModeSwitch"
                    enabled: page.client.connections.length > 0
                    checked: page.client.awayMode
                    onToggled: page.client.switchAwayMode(checked)
                    // The relay's answer is what the switch shows.
                    Connections {
                        target: page.client
                        function onAwayModeChanged() { parent.checked = page.client.awayMode }
                    }
                }
            }
            RowLayout {
                Layout.fillWidth: true
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 2
                    Label { text: qsTr("Night mode") }
                    Label {
                        text: qsTr("Dim red screen for the dark")
                        font: Typography.meta
                        opacity: 0.7
                        wrapMode: Text.Wrap
                        // A nested layout grows only as far as a child of it
                        // may: without this the switch sits beside the text.
                        Layout.fillWidth: true
                    }
                }
                Switch {
                    objectName: "nightModeSwitch"
                    checked: page.client.nightMode
                    onToggled: page.client.nightMode = checked
                }
            }
            Label {
                objectName: "notice"
                visible: page.client.notice.length > 0
                text: page.client.notice
                color: Design.Palette.statusTint("failed", Appearance.dark)
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            MenuSeparator { Layout.fillWidth: true }
            Button {
                objectName: "quitButton"
                text: qsTr("Quit Vesperline")
                flat: true
                onClicked: Qt.quit()
            }
        }
    }
}
