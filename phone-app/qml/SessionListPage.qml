import QtQuick
import QtQuick.Controls.Material
import QtQuick.Layouts
import Vesperline.Core

// The sessions of every paired relay, most urgent first, under one headline.
Page {
    id: page
    signal sessionChosen(string key)
    property var client: Client

    header: ColumnLayout {
        spacing: 0
        Label {
            objectName: "headline"
            Layout.fillWidth: true
            Layout.margins: 16
            Layout.bottomMargin: 8
            text: page.client.loaded ? page.client.headline : qsTr("Looking for sessions…")
            font.pixelSize: 22
            font.weight: Font.Bold
            wrapMode: Text.Wrap
        }
        Repeater {
            model: page.client.providerErrors
            delegate: Pane {
                required property var modelData
                Layout.fillWidth: true
                Layout.leftMargin: 12
                Layout.rightMargin: 12
                Layout.bottomMargin: 6
                Material.background: Qt.alpha(Material.color(Material.Red), 0.15)
                Material.elevation: 0
                Label {
                    objectName: "providerError"
                    width: parent.width
                    text: qsTr("%1: %2 Showing the last known sessions.").arg(modelData.providerName).arg(modelData.text)
                    wrapMode: Text.Wrap
                    font.pixelSize: 13
                }
            }
        }
        Pane {
            objectName: "demoBanner"
            visible: page.client.showingDemo
            Layout.fillWidth: true
            Layout.leftMargin: 12
            Layout.rightMargin: 12
            Layout.bottomMargin: 6
            Material.background: Qt.alpha(Material.accent, 0.12)
            Material.elevation: 0
            Label {
                width: parent.width
                text: qsTr("Demo sessions. Pair with your relay to follow your own agents.")
                wrapMode: Text.Wrap
                font.pixelSize: 13
            }
        }
    }

    ListView {
        id: list
        objectName: "sessionList"
        anchors.fill: parent
        clip: true
        model: page.client.sessions
        delegate: SessionRow {
            onClicked: page.sessionChosen(key)
        }
        Label {
            anchors.centerIn: parent
            visible: list.count === 0 && page.client.loaded
            text: qsTr("No sessions right now.")
            opacity: 0.7
        }
    }
}
