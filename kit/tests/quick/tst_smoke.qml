import QtQuick
import QtTest
import Idlewyn.Design

Item {
    width: 400; height: 300
    StatusIndicator { id: indicator; status: "working"; size: StatusIconSize.medium }
    TestCase {
        name: "Smoke"
        function test_loads() {
            compare(indicator.label, "Working")
            compare(Spacing.s, 8)
        }
    }
}
