import QtQuick
import QtTest
import Idlewyn.Design

Item {
    id: root

    width: 300
    height: 200

    readonly property color brick: Qt.rgba(200 / 255, 100 / 255, 50 / 255, 1)

    // A night mode holding a brick swatch and a swatch hidden at night, and a
    // brick swatch outside it.
    Component {
        id: sceneComponent
        Item {
            property bool startsOn: false
            property alias night: night
            property alias inside: inside
            property alias hidden: hidden
            property alias outside: outside

            width: 200
            height: 40

            NightMode {
                id: night
                isOn: startsOn
                width: 100
                height: 40

                Rectangle {
                    id: inside
                    width: 40
                    height: 40
                    color: root.brick
                }
                Rectangle {
                    id: hidden
                    x: 50
                    width: 40
                    height: 40
                    color: root.brick
                    Appearance.hiddenAtNight: true
                }
            }
            Rectangle {
                id: outside
                x: 150
                width: 40
                height: 40
                color: root.brick
            }
        }
    }

    // The night filter of one colour, worked out by hand: luminance,
    // contrast 1.3 about mid-grey, then times (1, 0.28, 0.22).
    function nightOf(color) {
        const luminance = 0.2126 * color.r + 0.7152 * color.g + 0.0722 * color.b
        const level = Math.min(1, Math.max(0, (luminance - 0.5) * 1.3 + 0.5))
        return Qt.rgba(level, level * 0.28, level * 0.22, 1)
    }

    function distance(a, b) {
        return Math.max(Math.abs(a.r - b.r), Math.abs(a.g - b.g), Math.abs(a.b - b.b)) * 255
    }

    TestCase {
        name: "NightMode"
        when: windowShown

        function colourAt(scene, item) {
            const point = item.mapToItem(scene, item.width / 2, item.height / 2)
            return grabImage(scene).pixel(point.x, point.y)
        }

        function test_turnsAColourIntoItsContrastedLuminanceInRed_data() {
            return [
                { tag: "brick", color: Qt.rgba(200 / 255, 100 / 255, 50 / 255, 1) },
                { tag: "white", color: Qt.rgba(1, 1, 1, 1) },
                { tag: "waiting", color: Qt.rgba(184 / 255, 74 / 255, 0, 1) }
            ]
        }

        function test_turnsAColourIntoItsContrastedLuminanceInRed(data) {
            const scene = createTemporaryObject(sceneComponent, root, { startsOn: true })
            scene.inside.color = data.color
            waitForRendering(scene)
            const night = colourAt(scene, scene.inside)
            verify(distance(night, nightOf(data.color)) <= 1.5, night + " for " + data.color)
            verify(Qt.colorEqual(colourAt(scene, scene.outside), root.brick), "only the subtree is affected")
            compare(scene.night.filterStrength, 1, "what is first drawn at night is simply drawn so")
            compare(scene.hidden.opacity, 0)
            verify(scene.inside.Appearance.isNightMode)
            verify(!scene.outside.Appearance.isNightMode)
        }

        function test_offLeavesEveryPixelAsItWas() {
            const scene = createTemporaryObject(sceneComponent, root)
            waitForRendering(scene)
            verify(Qt.colorEqual(colourAt(scene, scene.inside), root.brick))
            compare(scene.hidden.opacity, 1, "outside night, nothing hides")
            verify(!scene.night.layer.enabled, "an idle filter is out of the way entirely")
        }

        function test_switchTransitionsFilterAndHiddenTogether() {
            const scene = createTemporaryObject(sceneComponent, root)
            const place = Qt.rect(scene.hidden.x, scene.hidden.y, scene.hidden.width, scene.hidden.height)
            scene.night.isOn = true
            verify(scene.inside.Appearance.isNightMode, "the environment switches at once")
            // The filter and the hidden item move together over 1.2 s, not at once.
            tryVerify(() => scene.night.filterStrength > 0.2, 2000)
            verify(scene.night.filterStrength < 1)
            verify(scene.hidden.opacity > 0 && scene.hidden.opacity < 1, "opacity " + scene.hidden.opacity)
            tryCompare(scene.night, "filterStrength", 1, 3000)
            tryCompare(scene.hidden, "opacity", 0, 1000)
            compare(Qt.rect(scene.hidden.x, scene.hidden.y, scene.hidden.width, scene.hidden.height), place)

            scene.night.isOn = false
            tryCompare(scene.night, "filterStrength", 0, 3000)
            tryCompare(scene.hidden, "opacity", 1, 1000)
            waitForRendering(scene)
            verify(Qt.colorEqual(colourAt(scene, scene.inside), root.brick), "off again: untouched")
        }

        Component {
            id: nestedComponent
            NightMode {
                property alias inner: inner
                property alias swatch: swatch

                isOn: true
                width: 60
                height: 40

                NightMode {
                    id: inner
                    width: 60
                    height: 40
                    isOn: false

                    Rectangle {
                        id: swatch
                        width: 40
                        height: 40
                        color: root.brick
                        Appearance.hiddenAtNight: true
                    }
                }
            }
        }

        function test_innermostDecidesWhileEveryFilterApplies() {
            const outer = createTemporaryObject(nestedComponent, root)
            verify(outer.Appearance.isNightMode)
            verify(!outer.swatch.Appearance.isNightMode, "the innermost decides")
            compare(outer.swatch.opacity, 1)
            waitForRendering(outer)
            const drawn = grabImage(outer).pixel(20, 20)
            verify(distance(drawn, nightOf(root.brick)) <= 1.5, "the outer filter still applies: " + drawn)
        }
    }
}
