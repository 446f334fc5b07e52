import QtQuick
import QtTest
import Idlewyn.Design
import Idlewyn.Design as Design

Item {
    id: root

    width: 480
    height: 360

    Component {
        id: indicatorComponent
        StatusIndicator { size: StatusIconSize.large }
    }
    Component {
        id: badgeComponent
        ProviderBadge {}
    }
    Component {
        id: progressComponent
        TaskProgressView {}
    }
    Component {
        id: elapsedComponent
        ElapsedLabel {}
    }
    Component {
        id: lineComponent
        ActivityLine {}
    }
    Component {
        id: surfaceComponent
        Rectangle {
            width: 40
            height: 40
            color: "#808080"
        }
    }

    // The colour most opaque pixels have, leaving out the background.
    function dominantColor(image, width, height, background) {
        let counts = {}
        let best = ""
        for (let y = 0; y < height; ++y) {
            for (let x = 0; x < width; ++x) {
                const pixel = image.pixel(x, y)
                if (pixel.a < 1 || Qt.colorEqual(pixel, background))
                    continue
                const key = pixel.toString()
                counts[key] = (counts[key] || 0) + 1
                if (best === "" || counts[key] > counts[best])
                    best = key
            }
        }
        return best
    }

    TestCase {
        name: "StatusIndicator"
        when: windowShown

        function test_status_data() {
            return [
                { tag: "working", label: "Working", symbol: "circle.dotted.circle", light: "#0062cc", dark: "#6cb8ff" },
                { tag: "waitingForInput", label: "Needs input", symbol: "hand.raised.fill", light: "#b84a00",
                  dark: "#ffa630" },
                { tag: "finished", label: "Finished", symbol: "checkmark.circle.fill", light: "#1a7f37",
                  dark: "#3dd66b" },
                { tag: "failed", label: "Failed", symbol: "exclamationmark.triangle.fill", light: "#c62828",
                  dark: "#ff7b72" },
                { tag: "idle", label: "Idle", symbol: "moon.zzz.fill", light: "#636366", dark: "#a1a1a6" },
                // A word the wire does not know reads as idle.
                { tag: "Working", label: "Idle", symbol: "moon.zzz.fill", light: "#636366", dark: "#a1a1a6" }
            ]
        }

        function test_status(data) {
            for (const dark of [false, true]) {
                const surface = createTemporaryObject(surfaceComponent, root)
            surface.Appearance.dark = dark
                const indicator = createTemporaryObject(indicatorComponent, surface, { status: data.tag })
                compare(indicator.label, data.label)
                compare(indicator.Accessible.name, data.label)
                compare(indicator.symbolName, data.symbol)
                const expected = dark ? data.dark : data.light
                verify(Qt.colorEqual(indicator.resolvedColor, expected), indicator.resolvedColor + " " + expected)
                verify(Qt.colorEqual(Design.Palette.statusTint(data.tag, dark), expected))
                waitForRendering(indicator)
                const drawn = dominantColor(grabImage(indicator), indicator.width, indicator.height, surface.color)
                verify(Qt.colorEqual(drawn, expected), data.tag + " drawn " + drawn + ", expected " + expected)
            }
        }

        SignalSpy {
            id: pulses
            signalName: "pulsed"
        }

        function test_pulsesOncePerChange() {
            const indicator = createTemporaryObject(indicatorComponent, root, { status: "working" })
            pulses.clear()
            pulses.target = indicator
            verify(!indicator.pulsing, "appearing is not a change")
            indicator.status = "working"
            compare(pulses.count, 0)
            indicator.status = "waitingForInput"
            compare(pulses.count, 1)
            verify(indicator.pulsing)
            compare(indicator.Accessible.name, "Needs input")
            indicator.status = "waitingForInput"
            compare(pulses.count, 1)
            tryVerify(() => !indicator.pulsing, 3000, "a pulse ends by itself")
            compare(pulses.count, 1, "and never repeats")
            // Two words that both read as idle are no change either.
            indicator.status = "idle"
            compare(pulses.count, 2)
            indicator.status = "sleeping"
            compare(pulses.count, 2)
        }
    }

    TestCase {
        name: "Appearance"
        when: windowShown

        function test_nearestAncestorDecides() {
            const outer = createTemporaryObject(surfaceComponent, root)
            outer.Appearance.dark = true
            const inner = createTemporaryObject(surfaceComponent, outer)
            const indicator = createTemporaryObject(indicatorComponent, inner, { status: "waitingForInput" })
            verify(indicator.Appearance.dark)
            verify(Qt.colorEqual(indicator.resolvedColor, "#ffa630"))
            inner.Appearance.dark = false
            verify(Qt.colorEqual(indicator.resolvedColor, "#b84a00"), "the innermost decides")
            inner.Appearance.dark = undefined
            verify(Qt.colorEqual(indicator.resolvedColor, "#ffa630"), "undefined inherits again")
        }

        function test_itemPlacedAfterItWasMadeTakesItsNewSurroundings() {
            // As a view does with its delegates: made first, placed afterwards,
            // and below an item that sets nothing itself.
            const dark = createTemporaryObject(surfaceComponent, root)
            dark.Appearance.dark = true
            const holder = createTemporaryObject(surfaceComponent, null)
            const indicator = createTemporaryObject(indicatorComponent, holder, { status: "failed" })
            verify(!indicator.Appearance.dark)
            holder.parent = dark
            verify(indicator.Appearance.dark)
            verify(Qt.colorEqual(indicator.resolvedColor, "#ff7b72"))
            holder.parent = root
            verify(!indicator.Appearance.dark)
        }
    }

    TestCase {
        name: "ProviderBadge"
        when: windowShown

        function test_titles() {
            const codex = createTemporaryObject(badgeComponent, root, { provider: "codex", compact: true })
            compare(codex.title, "Codex")
            codex.compact = false
            compare(codex.title, "Codex")

            const claude = createTemporaryObject(badgeComponent, root, { provider: "claude", compact: true })
            compare(claude.title, "Claude")
            const compactWidth = claude.implicitWidth
            claude.compact = false
            compare(claude.title, "Claude Code")
            compare(claude.Accessible.name, "Claude Code")
            verify(claude.implicitWidth > compactWidth)

            const unknown = createTemporaryObject(badgeComponent, root, { provider: "Claude" })
            compare(unknown.title, "", "providers are matched exactly")
            compare(unknown.implicitWidth, 0)
        }
    }

    TestCase {
        name: "TaskProgressView"
        when: windowShown

        function test_progress_data() {
            return [
                { tag: "over", done: 7, total: 5, value: 5, maximum: 5, fraction: 1, text: "7/5",
                  label: "7 of 5 tasks done" },
                { tag: "none planned", done: 3, total: 0, value: 0, maximum: 1, fraction: 0, text: "3/0",
                  label: "3 of 0 tasks done" },
                { tag: "negative", done: -2, total: 4, value: -2, maximum: 4, fraction: 0, text: "-2/4",
                  label: "-2 of 4 tasks done" },
                { tag: "quarter", done: 1, total: 4, value: 1, maximum: 4, fraction: 0.25, text: "1/4",
                  label: "1 of 4 tasks done" }
            ]
        }

        function test_progress(data) {
            const view = createTemporaryObject(progressComponent, root, { done: data.done, total: data.total })
            compare(view.value, data.value)
            compare(view.maximum, data.maximum)
            compare(view.fraction, data.fraction)
            compare(view.text, data.text)
            compare(view.Accessible.name, data.label)
        }

        function test_fullAndEmptyBarsAsDrawn() {
            const tint = "#1a7f37"
            const full = createTemporaryObject(progressComponent, root, { done: 7, total: 5, tint: tint })
            const empty = createTemporaryObject(progressComponent, root, { y: 40, done: 3, total: 0, tint: tint })
            waitForRendering(empty)
            const middle = Math.floor(full.height / 2)
            for (const x of [3, 29]) {
                verify(Qt.colorEqual(grabImage(full).pixel(x, middle), tint), "full at " + x)
                verify(!Qt.colorEqual(grabImage(empty).pixel(x, middle), tint), "empty at " + x)
            }
            // Updating the inputs redraws what is derived from them.
            empty.total = 4
            empty.done = 4
            compare(empty.Accessible.name, "4 of 4 tasks done")
            waitForRendering(empty)
            verify(Qt.colorEqual(grabImage(empty).pixel(29, middle), tint))
        }
    }

    TestCase {
        name: "ElapsedLabel"
        when: windowShown

        function ago(seconds) {
            return new Date(Date.now() - seconds * 1000)
        }

        function test_timerOrWords() {
            const label = createTemporaryObject(elapsedComponent, root,
                                                { runningSince: ago(3725), updatedAt: ago(7260) })
            verify(label.showsTimer)
            verify(/^1:02:0[56]$/.test(label.text), label.text)
            compare(label.Accessible.name, label.text)
            label.runningSince = undefined
            verify(!label.showsTimer)
            compare(label.text, "2 hours ago")
            label.runningSince = ago(65)
            verify(/^1:0[56]$/.test(label.text), label.text)
            label.runningSince = new Date(Date.now() + 60000)
            compare(label.text, "0:00", "never counts down")
        }

        function test_advancesWhileShown() {
            // Half a second past a whole second: the next change is about 0.5 s away.
            const label = createTemporaryObject(elapsedComponent, root,
                                                { runningSince: new Date(Date.now() - 65500), updatedAt: ago(0) })
            const before = label.text
            tryVerify(() => label.text !== before, 3000)
        }
    }

    TestCase {
        name: "ActivityLine"
        when: windowShown

        function test_longTextLosesItsMiddle() {
            const command = "npm run test -- --watch=false src/features/checkout/checkout_flow.test.ts"
            const line = createTemporaryObject(lineComponent, root, { text: command })
            line.width = line.implicitWidth
            compare(line.displayedText, command)
            compare(line.Accessible.name, command)

            line.width = 160
            const shown = line.displayedText
            verify(shown.startsWith("npm") && shown.endsWith(".ts") && shown.includes("\u2026"), shown)
            line.showsIcon = true
            verify(line.displayedText.length < shown.length, "the icon takes its room from the text")

            line.text = "git commit\n-m fix"
            line.width = line.implicitWidth
            compare(line.displayedText, "git commit -m fix")
        }

        function test_styles() {
            const line = createTemporaryObject(lineComponent, root, { text: "make", style: "#0062cc" })
            verify(Qt.colorEqual(line.resolvedColor, "#0062cc"))
            line.style = "secondary"
            const secondaryAlpha = line.resolvedColor.a
            line.style = "primary"
            fuzzyCompare(secondaryAlpha, line.resolvedColor.a * 0.5, 0.01)
        }
    }
}
