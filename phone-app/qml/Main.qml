import QtQuick
import QtQuick.Controls.Material
// The kit's Palette and Layout share their names with QtQuick's and
// QtQuick.Layouts': the kit's tokens are read as Design.Palette.
import Idlewyn.Design
import Idlewyn.Design as Design
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
    // Light or dark follows the system (main.cpp makes that the default);
    // night mode is drawn from the dark theme, never from a white screen.
    Binding {
        target: window.Material
        property: "theme"
        value: Material.Dark
        when: Client.nightMode
    }
    Appearance.dark: Material.theme === Material.Dark
    Material.accent: Design.Palette.statusTint("working", Appearance.dark)
    Material.primary: Design.Palette.ink
    // Material writes button labels in capitals; the client's words ("Allow",
    // "Deny", "Always", "Pair"…) are shown as they are written.
    font.capitalization: Font.MixedCase

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

    NightMode {
        anchors.fill: parent
        isOn: Client.nightMode

        Page {
            anchors.fill: parent
            header: ToolBar {
                Material.background: window.Material.background
                Material.foreground: window.Material.foreground
                Material.elevation: 0
                RowLayout {
                    anchors.fill: parent
                    spacing: Spacing.xs
                    ToolButton {
                        objectName: "backButton"
                        visible: stack.depth > 1
                        text: "\u2039"
                        font.pixelSize: 28
                        Accessible.name: qsTr("Back")
                        onClicked: stack.pop()
                    }
                    SymbolImage {
                        visible: stack.depth === 1
                        Layout.leftMargin: Spacing.l
                        Layout.preferredWidth: 20
                        Layout.preferredHeight: 20
                        name: "moon.stars.fill"
                        color: window.Material.foreground
                        Appearance.hiddenAtNight: true
                    }
                    Label {
                        Layout.fillWidth: true
                        text: stack.depth > 1 ? stack.currentItem.title : "Vesperline"
                        font: Typography.title
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

            StackView {
                id: stack
                anchors.fill: parent
                initialItem: SessionListPage {
                    onSessionChosen: key => window.openSession(key)
                }
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
