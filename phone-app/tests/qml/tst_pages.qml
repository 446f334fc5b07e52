import QtQuick
import QtTest
import Vesperline
import Vesperline.Core

// What the list says above its sessions, and the camera button of pairing.
Item {
    id: root
    width: 390
    height: 844

    Component {
        id: listComponent
        SessionListPage {
            width: root.width
            height: root.height
        }
    }
    Component {
        id: pairingComponent
        PairingPage {
            width: root.width
            height: root.height
        }
    }
    // Outlives every page that uses it, as the application's camera does.
    QtObject {
        id: camera
        property bool available
        property bool active: false
        property QtObject videoOutput
        signal decoded(string text)
        function start() {}
        function stop() {}
    }

    function banners(page, name) {
        const found = []
        const visit = item => {
            for (let i = 0; i < item.children.length; ++i) {
                const child = item.children[i]
                if (child.objectName === name && child.visible)
                    found.push(child)
                visit(child)
            }
        }
        visit(page.header)
        return found
    }

    TestCase {
        name: "SessionListPage"
        when: windowShown

        function test_demo_sessions_are_marked_while_nothing_is_paired() {
            const client = harness.startedClient("")
            const page = createTemporaryObject(listComponent, root, { client: client })
            tryCompare(client, "loaded", true)
            compare(root.banners(page, "demoBanner").length, 1)
            compare(root.banners(page, "providerError").length, 0)
            verify(findChild(page, "sessionList").count > 0)
        }

        function test_a_relay_that_fails_shows_its_error_over_its_last_known_sessions() {
            const client = harness.startedClient("claude")
            const page = createTemporaryObject(listComponent, root, { client: client })
            tryCompare(client, "loaded", true)
            compare(root.banners(page, "demoBanner").length, 0)
            const errors = root.banners(page, "providerError")
            compare(errors.length, 1)
            compare(errors[0].text, "Claude Code: Connection refused\nShowing the last known sessions.")
            const list = findChild(page, "sessionList")
            compare(list.count, 1)
            list.forceLayout()
            compare(findChild(list.itemAtIndex(0), "rowMarks").text, "Last known")
        }
    }

    TestCase {
        name: "PairingPage"
        when: windowShown

        function test_the_camera_button_only_with_a_camera_data() {
            return [{ tag: "no camera", available: false }, { tag: "a camera", available: true }]
        }
        function test_the_camera_button_only_with_a_camera(data) {
            camera.available = data.available
            const page = createTemporaryObject(pairingComponent, root, { camera: camera })
            compare(findChild(page, "cameraButton").visible, data.available)
        }
        function test_the_camera_button_follows_the_platforms_camera() {
            const page = createTemporaryObject(pairingComponent, root)
            compare(findChild(page, "cameraButton").visible, Camera.available)
        }
    }
}
