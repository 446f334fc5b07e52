import QtQuick
import QtQuick.Controls.Material
import Idlewyn.Design
import Idlewyn.Design as Design
import QtQuick.Layouts
import Vesperline.Core

// The sessions of every paired relay, most urgent first, under one headline.
Page {
    id: page
    signal sessionChosen(string key)
    property var client: Client

    header: ColumnLayout {
        spacing: Spacing.s
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: Spacing.l
            Layout.bottomMargin: Spacing.xs
            spacing: Spacing.m
            StatusIndicator {
                visible: page.client.loaded
                status: page.client.headlineStatus
                size: StatusIconSize.large
            }
            Label {
                objectName: "headline"
                Layout.fillWidth: true
                text: page.client.loaded ? page.client.headline : qsTr("Looking for sessions…")
                font: Typography.headline
                wrapMode: Text.Wrap
            }
        }
        Repeater {
            model: page.client.providerErrors
            delegate: Banner {
                required property var modelData
                objectName: "providerError"
                Layout.fillWidth: true
                Layout.leftMargin: Spacing.m
                Layout.rightMargin: Spacing.m
                tint: Design.Palette.statusTint("failed", Appearance.dark)
                symbol: "exclamationmark.triangle.fill"
                text: qsTr("%1: %2\nShowing the last known sessions.").arg(modelData.providerName).arg(modelData.text)
            }
        }
        Banner {
            objectName: "demoBanner"
            visible: page.client.showingDemo
            Layout.fillWidth: true
            Layout.leftMargin: Spacing.m
            Layout.rightMargin: Spacing.m
            tint: Design.Palette.providerBadge(Appearance.dark)
            symbol: "sparkle"
            text: qsTr("Demo sessions. Pair with your relay to follow your own agents.")
        }
        Item { implicitHeight: Spacing.xs }
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
            font: Typography.body
            opacity: 0.7
        }
    }
}
