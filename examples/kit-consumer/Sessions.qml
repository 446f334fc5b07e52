import QtQuick
import QtQuick.Window
import Idlewyn.Design
import Idlewyn.Design as Design

// One session of each status, drawn with every component of the kit.
Window {
    id: window

    property bool dark: false
    property bool night: false
    readonly property var now: new Date()
    readonly property var sessions: [
        { status: "waitingForInput", provider: "claude", title: "checkout-flow", done: 3, total: 5,
          activity: "Bash: npm run test -- --runInBand src/checkout/__tests__/checkout_flow.test.ts",
          since: undefined, updated: 95 },
        { status: "working", provider: "codex", title: "relay-monitor", done: 2, total: 6,
          activity: "apply_patch kit/relay/live_session_service.cpp", since: 3725, updated: 4 },
        { status: "failed", provider: "claude", title: "push-gateway", done: 1, total: 4,
          activity: "cargo build --release\nerror[E0432]: unresolved import", since: undefined, updated: 600 },
        { status: "finished", provider: "codex", title: "design-tokens", done: 7, total: 5,
          activity: "All 48 tests passed", since: undefined, updated: 5400 },
        { status: "idle", provider: "claude", title: "notes", done: 0, total: 0,
          activity: "", since: undefined, updated: 2 * 86400 }
    ]

    function ago(seconds) {
        return new Date(now.getTime() - seconds * 1000)
    }

    width: 460
    height: column.implicitHeight + 2 * Spacing.l
    visible: true
    title: "Idlewyn.Design"
    color: dark ? "#1C1C1E" : "#F2F2F7"
    Appearance.dark: dark

    NightMode {
        anchors.fill: parent
        isOn: window.night

        // Inside the night mode, so that the whole surface turns red at night.
        Rectangle {
            anchors.fill: parent
            color: window.color
        }
        Column {
            id: column

            x: Spacing.l
            y: Spacing.l
            width: parent.width - 2 * Spacing.l
            spacing: Spacing.s

            Row {
                spacing: Spacing.s

                SymbolImage {
                    name: "moon.stars.fill"
                    color: window.dark ? Design.Palette.moon : Design.Palette.ink
                    width: StatusIconSize.large
                    height: StatusIconSize.large
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "5 sessions"
                    font: Typography.screenTitle
                    color: window.dark ? Design.Palette.onDarkPrimary : Design.Palette.inkDeep
                }
                Text {
                    anchors.verticalCenter: parent.verticalCenter
                    text: "hidden at night"
                    font: Typography.meta
                    color: Design.Palette.statusTint("waitingForInput", window.dark)
                    Appearance.hiddenAtNight: true
                }
            }

            Repeater {
                model: window.sessions

                Rectangle {
                    required property var modelData

                    width: column.width
                    height: row.implicitHeight + 2 * Spacing.m
                    radius: Radius.small
                    color: window.dark ? "#2C2C2E" : "#FFFFFF"

                    Item {
                        x: Spacing.m
                        y: Spacing.m
                        width: Design.Layout.iconColumn
                        height: StatusIconSize.large

                        StatusIndicator {
                            anchors.centerIn: parent
                            status: modelData.status
                            size: StatusIconSize.medium
                        }
                    }
                    Column {
                        id: row

                        x: Spacing.m + Design.Layout.iconColumn + Spacing.s
                        y: Spacing.m
                        width: elapsed.x - x - Spacing.s
                        spacing: Spacing.xs

                        Row {
                            spacing: Spacing.s

                            Text {
                                text: modelData.title
                                font: Typography.rowTitle
                                color: window.dark ? Design.Palette.onDarkPrimary : Design.Palette.inkDeep
                            }
                            ProviderBadge {
                                anchors.verticalCenter: parent.verticalCenter
                                provider: modelData.provider
                                compact: modelData.status !== "working"
                            }
                        }
                        ActivityLine {
                            width: parent.width
                            visible: modelData.activity !== ""
                            text: modelData.activity
                            style: "secondary"
                            showsIcon: true
                        }
                        TaskProgressView {
                            done: modelData.done
                            total: modelData.total
                            tint: Design.Palette.statusTint(modelData.status, window.dark)
                        }
                    }
                    // As wide as its text, at least the timer column.
                    ElapsedLabel {
                        id: elapsed

                        x: parent.width - Spacing.m - width
                        y: Spacing.m
                        width: Math.max(implicitWidth, Design.Layout.timerColumn)
                        runningSince: modelData.since === undefined ? undefined : window.ago(modelData.since)
                        updatedAt: window.ago(modelData.updated)
                        font: Typography.number
                        color: Design.Palette.statusTint(modelData.status, window.dark)
                        alignment: Qt.AlignRight | Qt.AlignVCenter
                    }
                }
            }
        }
    }
}
