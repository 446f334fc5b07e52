import QtQuick
import QtQuick.Controls.Material
import QtQuick.Layouts
import Vesperline.Core

// The client's one window, phone-sized. Closing it hides it: the client keeps
// polling and alerting in the background until "Quit Vesperline".
ApplicationWindow {
    id: window
    width: 390
    height: 844
    visible: true
    title: "Vesperline"
    Material.accent: Material.Orange
    // Light or dark follows the system (main.cpp makes that the default);
    // night mode is drawn from the dark theme, never from a white screen.
    Binding {
        target: window.Material
        property: "theme"
        value: Material.Dark
        when: Client.nightMode
    }

    onActiveChanged: Client.windowActive = active
    onClosing: close => {
        close.accepted = false
        window.hide()
    }

    // A link the system opened with the app, or one handed over by a second
    // launch: it pairs at once, both agents, on the pairing page.
    function openPairing(text) {
        const page = stack.find(item => item.objectName === "pairingPage") || stack.push(pairingPage)
        stack.pop(page)
        page.link = text
        page.pairLink()
    }
    function openSession(key) {
        stack.pop(null)
        stack.push(sessionPage, { key: key })
    }

    header: ToolBar {
        Material.background: window.Material.background
        Material.foreground: window.Material.foreground
        Material.elevation: 0
        RowLayout {
            anchors.fill: parent
            ToolButton {
                objectName: "backButton"
                visible: stack.depth > 1
                text: "\u2039"
                font.pixelSize: 28
                onClicked: stack.pop()
            }
            Label {
                Layout.fillWidth: true
                Layout.leftMargin: stack.depth > 1 ? 0 : 16
                text: stack.depth > 1 ? stack.currentItem.title : "Vesperline"
                font.pixelSize: 18
                font.weight: Font.DemiBold
                elide: Text.ElideRight
            }
            ToolButton {
                objectName: "pairPageButton"
                visible: stack.depth === 1
                text: qsTr("Pair")
                onClicked: stack.push(pairingPage)
            }
            ToolButton {
                objectName: "settingsButton"
                visible: stack.depth === 1
                text: qsTr("Settings")
                onClicked: stack.push(settingsPage)
            }
        }
    }

    NightFilter {
        anchors.fill: parent
        on: Client.nightMode
        StackView {
            id: stack
            anchors.fill: parent
            initialItem: SessionListPage {
                onSessionChosen: key => window.openSession(key)
            }
        }
    }

    Component {
        id: sessionPage
        SessionPage {}
    }
    Component {
        id: pairingPage
        PairingPage {
            objectName: "pairingPage"
        }
    }
    Component {
        id: settingsPage
        SettingsPage {
            onPairRequested: stack.push(pairingPage)
        }
    }
}
