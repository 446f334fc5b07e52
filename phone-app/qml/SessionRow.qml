import QtQuick
import QtQuick.Controls.Material
import Idlewyn.Design
import Idlewyn.Design as Design
import QtQuick.Layouts

// One session of the list, as the tray's panel draws it: status, project and
// provider, what it does now (or the tool it asks for), its task progress,
// and how long it has run.
ItemDelegate {
    id: row
    required property string key
    required property string status
    required property string statusLabel
    required property string provider
    required property string projectName
    required property string title
    required property string summary
    required property string activity
    required property var runningSince
    required property var updatedAt
    required property int taskDone
    required property int taskTotal
    required property bool hasPrompt
    required property string toolName
    required property bool isDemo
    required property bool isStale

    readonly property color tint: Design.Palette.statusTint(status, Appearance.dark)

    width: ListView.view ? ListView.view.width : implicitWidth
    horizontalPadding: Spacing.l
    verticalPadding: Spacing.m
    opacity: isStale ? 0.6 : 1
    Accessible.name: projectName + ", " + statusLabel

    contentItem: RowLayout {
        spacing: Spacing.m
        StatusIndicator {
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: 2
            status: row.status
            size: StatusIconSize.medium
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: Spacing.xs
            RowLayout {
                Layout.fillWidth: true
                spacing: Spacing.s
                Label {
                    Layout.fillWidth: true
                    text: row.projectName
                    font: Typography.rowTitle
                    elide: Text.ElideRight
                }
                ProviderBadge {
                    provider: row.provider
                    compact: true
                }
            }
            Label {
                Layout.fillWidth: true
                visible: text.length > 0 && text !== row.projectName
                text: row.title
                font: Typography.supporting
                opacity: 0.8
                elide: Text.ElideRight
            }
            Label {
                objectName: "rowPrompt"
                Layout.fillWidth: true
                visible: row.hasPrompt
                text: qsTr("Wants to use %1").arg(row.toolName)
                font: Typography.metaStrong
                color: row.tint
                elide: Text.ElideRight
            }
            ActivityLine {
                Layout.fillWidth: true
                visible: !row.hasPrompt && row.activity.length > 0
                text: row.activity
                style: "secondary"
            }
            Label {
                Layout.fillWidth: true
                visible: !row.hasPrompt && row.activity.length === 0 && text.length > 0
                text: row.summary
                font: Typography.meta
                opacity: 0.7
                elide: Text.ElideRight
            }
            RowLayout {
                spacing: Spacing.s
                TaskProgressView {
                    visible: row.taskTotal > 0
                    done: row.taskDone
                    total: row.taskTotal
                    tint: row.tint
                }
                Label {
                    objectName: "rowMarks"
                    visible: text.length > 0
                    text: [row.isDemo ? qsTr("Demo") : "", row.isStale ? qsTr("Last known") : ""]
                          .filter(mark => mark.length > 0).join(" · ")
                    font: Typography.metaSmallStrong
                    opacity: 0.7
                }
            }
        }
        ElapsedLabel {
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: 2
            runningSince: row.runningSince
            updatedAt: row.updatedAt
            font: Typography.numberSmall
            alignment: Qt.AlignRight | Qt.AlignVCenter
            opacity: 0.7
        }
    }
}
