import QtQuick
import QtQuick.Controls.Material
import Idlewyn.Design
import Idlewyn.Design as Design
import QtQuick.Layouts
import Vesperline.Core

// One session; while it waits with a prompt, the prompt and its answers. A
// prompt that goes away stays on the page with what became of it, so that an
// answer never vanishes without a word.
Page {
    id: page
    property string key
    property var client: Client
    // Re-read on every refresh of the client.
    readonly property var session: { page.client.revision; return page.client.sessions.get(page.key) }
    // The prompt this page showed last.
    property var shownPrompt: null
    property string answeringPromptId: ""
    readonly property string outcome: {
        page.client.revision
        return shownPrompt ? page.client.promptOutcome(page.key, shownPrompt.id) : ""
    }
    onSessionChanged: {
        if (session.hasPrompt && (!shownPrompt || session.promptId !== shownPrompt.id)) {
            shownPrompt = { id: session.promptId, toolName: session.toolName, detail: session.detail,
                            alwaysRule: session.alwaysRule }
        }
        // The refresh after an answer (or a failed one) has come.
        answeringPromptId = ""
    }

    title: session.projectName || ""

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
            RowLayout {
                Layout.fillWidth: true
                spacing: Spacing.m
                StatusIndicator {
                    Layout.alignment: Qt.AlignTop
                    status: page.session.status || "idle"
                    size: StatusIconSize.large
                }
                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: Spacing.xs
                    Label {
                        Layout.fillWidth: true
                        text: page.session.title || ""
                        font: Typography.headline
                        wrapMode: Text.Wrap
                    }
                    RowLayout {
                        spacing: Spacing.s
                        ProviderBadge {
                            provider: page.session.provider || ""
                        }
                        Label {
                            text: (page.session.statusLabel || "") + (page.session.isDemo ? " · " + qsTr("Demo") : "")
                            font: Typography.metaStrong
                            color: Design.Palette.statusTint(page.session.status || "idle", Appearance.dark)
                        }
                        ElapsedLabel {
                            // A session that has gone has no times.
                            runningSince: page.session.runningSince
                            updatedAt: page.session.updatedAt ?? new Date(NaN)
                            font: Typography.numberSmall
                            opacity: 0.7
                        }
                    }
                }
            }
            Label {
                visible: text.length > 0
                Layout.fillWidth: true
                text: page.session.directory || ""
                font: Typography.mono
                opacity: 0.7
                elide: Text.ElideMiddle
            }
            ActivityLine {
                visible: text.length > 0
                Layout.fillWidth: true
                text: page.session.activity || ""
                showsIcon: true
            }
            Label {
                visible: text.length > 0 && !page.session.activity
                Layout.fillWidth: true
                text: page.session.summary || ""
                font: Typography.body
                wrapMode: Text.Wrap
            }
            TaskProgressView {
                visible: page.session.taskTotal > 0
                done: page.session.taskDone || 0
                total: page.session.taskTotal || 0
                tint: Design.Palette.statusTint(page.session.status || "idle", Appearance.dark)
            }
            PromptCard {
                objectName: "promptCard"
                Layout.fillWidth: true
                Layout.topMargin: Spacing.s
                visible: page.shownPrompt !== null
                toolName: page.shownPrompt ? page.shownPrompt.toolName : ""
                detail: page.shownPrompt ? page.shownPrompt.detail : ""
                alwaysRule: page.shownPrompt ? page.shownPrompt.alwaysRule : ""
                outcome: page.outcome
                busy: page.shownPrompt !== null && page.answeringPromptId === page.shownPrompt.id
                onAnswered: decision => {
                    page.answeringPromptId = page.shownPrompt.id
                    page.client.answer(page.key, page.shownPrompt.id, decision)
                }
            }
            Label {
                objectName: "notice"
                visible: page.client.notice.length > 0
                Layout.fillWidth: true
                text: page.client.notice
                color: Design.Palette.statusTint("failed", Appearance.dark)
                font: Typography.supporting
                wrapMode: Text.Wrap
            }
        }
    }
}
