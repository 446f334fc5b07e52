import QtQuick
import Idlewyn.Design

// Night mode for everything inside: Appearance.isNightMode follows isOn, and
// while the filter is at work the content is drawn through it (luminance,
// contrast 1.3, multiplied by Palette.nightRed). Give it a size, for example
// anchors.fill: parent; what lies outside it is not drawn while filtered.
NightModeItem {
    id: root

    implicitWidth: childrenRect.width
    implicitHeight: childrenRect.height
    layer.enabled: filterStrength > 0
    layer.effect: ShaderEffect {
        property real strength: root.filterStrength
        property color nightRed: root.nightRed

        fragmentShader: "qrc:/qt-project.org/imports/Idlewyn/Design/shaders/night.frag.qsb"
    }
}
