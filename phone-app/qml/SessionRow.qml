import QtQuick
import QtQuick.Controls.Material
import QtQuick.Layouts

// One session of the list: status, project, provider, what it does now, how
// long, and its task progress.
ItemDelegate {
    id: row
    required property string key
    required property string status
    required property string statusLabel
    required property string providerName
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

    width: ListView.view ? ListView.view.width : implicitWidth
    padding: 12
    opacity: isStale ? 0.6 : 1

    contentItem: RowLayout {
        spacing: 12
        StatusMark {
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: 2
            status: row.status
            label: row.statusLabel
        }
        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2
            RowLayout {
                Layout.fillWidth: true
                Label {
                    Layout.fillWidth: true
                    text: row.projectName
                    font.weight: Font.Medium
                    elide: Text.ElideRight
                }
                Label {
                    text: row.providerName
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    opacity: 0.75
                    leftPadding: 8
                    rightPadding: 8
                    topPadding: 2
                    bottomPadding: 2
                    background: Rectangle {
                        radius: height / 2
                        color: Material.foreground
                        opacity: 0.12
                    }
                }
            }
            Label {
                Layout.fillWidth: true
                visible: text.length > 0 && text !== row.projectName
                text: row.title
                font.pixelSize: 13
                opacity: 0.8
                elide: Text.ElideRight
            }
            Label {
                Layout.fillWidth: true
                objectName: "rowDetail"
                text: row.hasPrompt ? qsTr("Wants to use %1").arg(row.toolName)
                                    : row.activity.length > 0 ? row.activity : row.summary
                visible: text.length > 0
                font.family: row.activity.length > 0 && !row.hasPrompt ? "monospace" : Qt.application.font.family
                font.pixelSize: 12
                elide: Text.ElideMiddle
                color: row.hasPrompt ? row.Material.accent : row.Material.foreground
            }
            RowLayout {
                spacing: 8
                Label {
                    text: row.statusLabel + (row.isDemo ? qsTr(" · Demo") : "") + (row.isStale ? qsTr(" · Last known") : "")
                    font.pixelSize: 11
                    opacity: 0.7
                }
                Label {
                    text: Elapsed.text(row.runningSince, row.updatedAt, Elapsed.now)
                    font.pixelSize: 11
                    opacity: 0.7
                }
                Label {
                    visible: row.taskTotal > 0
                    text: row.taskDone + "/" + row.taskTotal
                    font.pixelSize: 11
                    opacity: 0.7
                    Accessible.name: qsTr("%1 of %2 tasks done").arg(row.taskDone).arg(row.taskTotal)
                }
            }
        }
    }
}
