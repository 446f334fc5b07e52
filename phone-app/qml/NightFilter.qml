import QtQuick

// Renders its children red and monochrome while `on`, so the screen does not
// dazzle in the dark; items with hiddenAtNight read `on` and fade out.
Item {
    id: filter
    property bool on: false
    default property alias content: holder.data

    Item {
        id: holder
        anchors.fill: parent
        layer.enabled: filter.on
        layer.effect: ShaderEffect {
            fragmentShader: "qrc:/Vesperline/shaders/night.frag.qsb"
        }
    }
}
