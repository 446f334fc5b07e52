import QtQuick
import QtQuick.Controls.Material
import QtQuick.Layouts
import Vesperline.Core

// One session; while it waits with a prompt, the prompt and its answers. A
// prompt that goes away says what became of it.
Page {
    id: page
    property string key
    property var client: Client
    // Re-read on every refresh of the client.
    readonly property var session: { page.client.revision; return page.client.sessions.get(page.key) }
    // The prompt this page showed last, so that its end can be told.
    property string shownPromptId: ""
    property string shownTool: ""
    readonly property string outcome: {
        page.client.revision
        return shownPromptId.length > 0 ? page.client.promptOutcome(page.key, shownPromptId) : ""
    }
    onSessionChanged: {
        if (session.hasPrompt && session.promptId !== shownPromptId) {
            shownPromptId = session.promptId
            shownTool = session.toolName
        }
    }

    title: session.projectName || ""

    Flickable {
        anchors.fill: parent
        contentHeight: column.implicitHeight + 32
        clip: true
        ColumnLayout {
            id: column
            x: 16
            y: 16
            width: parent.width - 32
            spacing: 12
            RowLayout {
                spacing: 10
                StatusMark {
                    status: page.session.status || "idle"
                    label: page.session.statusLabel || ""
                    size: 28
                }
                ColumnLayout {
                    spacing: 0
                    Label {
                        text: page.session.title || ""
                        font.pixelSize: 17
                        font.weight: Font.DemiBold
                        wrapMode: Text.Wrap
                        Layout.fillWidth: true
                    }
                    Label {
                        text: (page.session.providerName || "") + " · " + (page.session.statusLabel || "")
                              + (page.session.isDemo ? qsTr(" · Demo") : "")
                        font.pixelSize: 12
                        opacity: 0.7
                    }
                }
            }
            Label {
                visible: text.length > 0
                text: page.session.directory || ""
                font.family: "monospace"
                font.pixelSize: 12
                opacity: 0.7
                Layout.fillWidth: true
                elide: Text.ElideMiddle
            }
            Label {
                visible: text.length > 0
                text: page.session.activity || page.session.summary || ""
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
            PromptCard {
                objectName: "promptCard"
                Layout.fillWidth: true
                visible: page.session.hasPrompt === true
                toolName: page.session.toolName || ""
                detail: page.session.detail || ""
                alwaysRule: page.session.alwaysRule || ""
                onAnswered: decision => page.client.answer(page.key, page.session.promptId, decision)
            }
            Label {
                objectName: "promptOutcome"
                visible: page.session.hasPrompt !== true && page.outcome.length > 0
                text: qsTr("%1 prompt: %2").arg(page.shownTool).arg(page.outcome)
                wrapMode: Text.Wrap
                Layout.fillWidth: true
                opacity: 0.8
            }
            Label {
                objectName: "notice"
                visible: page.client.notice.length > 0
                text: page.client.notice
                color: Material.color(Material.Red)
                wrapMode: Text.Wrap
                Layout.fillWidth: true
            }
        }
    }
}
