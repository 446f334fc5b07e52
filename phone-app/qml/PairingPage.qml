import QtQuick
import QtQuick.Controls.Material
import QtQuick.Dialogs
import Idlewyn.Design
import Idlewyn.Design as Design
import QtQuick.Layouts
// Namespaced: QtMultimedia has a Camera type of its own, which would hide
// the client's camera scanner.
import QtMultimedia as Multimedia
import Vesperline.Core

// Pairing with a relay: its link pasted or opened by the system, its QR code
// read from an image file or, where there is one, the camera. Both agents by
// default.
Page {
    id: page
    property var client: Client
    property var camera: Camera
    property alias link: linkField.text
    title: qsTr("Pair with a Relay")

    function pairLink() {
        page.client.pairWithText(linkField.text, claudeBox.checked, codexBox.checked)
    }

    Connections {
        target: page.camera
        function onDecoded(text) {
            page.camera.stop()
            linkField.text = text
            page.pairLink()
        }
    }
    Component.onDestruction: page.camera.stop()

    Flickable {
        anchors.fill: parent
        contentHeight: column.implicitHeight + 2 * Spacing.l
        clip: true
        ColumnLayout {
            id: column
            x: Spacing.l
            y: Spacing.l
            width: parent.width - 2 * Spacing.l
            spacing: Spacing.m
            Label {
                Layout.fillWidth: true
                wrapMode: Text.Wrap
                font: Typography.body
                text: qsTr("On the computer, choose “Pair a Phone…” in Vesperline Relay’s menu, then scan its QR code, open a picture of it, or paste its link.")
            }
            TextArea {
                id: linkField
                objectName: "linkField"
                Layout.fillWidth: true
                placeholderText: "idlewyn://pair?url=…&code=…"
                wrapMode: TextEdit.WrapAnywhere
                font: Typography.monoBody
            }
            Label {
                text: qsTr("Follow")
                font: Typography.metaStrong
            }
            CheckBox {
                id: claudeBox
                objectName: "claudeBox"
                text: "Claude Code"
                checked: true
            }
            CheckBox {
                id: codexBox
                objectName: "codexBox"
                text: "Codex"
                checked: true
            }
            Button {
                objectName: "pairButton"
                Layout.fillWidth: true
                text: page.client.pairing ? qsTr("Pairing…") : qsTr("Pair")
                highlighted: true
                enabled: !page.client.pairing && linkField.text.trim().length > 0 && (claudeBox.checked || codexBox.checked)
                onClicked: page.pairLink()
            }
            Label {
                objectName: "pairingMessage"
                Layout.fillWidth: true
                visible: text.length > 0
                text: page.client.pairingMessage
                wrapMode: Text.Wrap
                font: Typography.supporting
                color: page.client.pairingSucceeded ? Design.Palette.statusTint("finished", Appearance.dark)
                                                    : Design.Palette.statusTint("failed", Appearance.dark)
            }
            Button {
                objectName: "openImageButton"
                Layout.fillWidth: true
                text: qsTr("Open QR Code Image…")
                enabled: !page.client.pairing
                onClicked: imageDialog.open()
            }
            Button {
                objectName: "cameraButton"
                Layout.fillWidth: true
                // No camera: no button, rather than one that does nothing.
                visible: page.camera.available
                text: page.camera.active ? qsTr("Stop Camera") : qsTr("Scan with Camera")
                enabled: !page.client.pairing
                onClicked: page.camera.active ? page.camera.stop() : page.camera.start()
            }
            Multimedia.VideoOutput {
                id: preview
                Layout.fillWidth: true
                Layout.preferredHeight: width * 0.75
                visible: page.camera.active
                Component.onCompleted: page.camera.videoOutput = preview
            }
        }
    }

    FileDialog {
        id: imageDialog
        title: qsTr("Open QR Code Image")
        nameFilters: [qsTr("Images (*.png *.jpg *.jpeg *.webp *.bmp)")]
        onAccepted: page.client.pairWithImage(selectedFile, claudeBox.checked, codexBox.checked)
    }
}
