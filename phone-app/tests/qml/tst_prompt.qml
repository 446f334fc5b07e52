import QtQuick
import QtTest
import Vesperline

// Which answers a prompt offers, and when.
Item {
    id: root
    width: 390
    height: 844

    Component {
        id: cardComponent
        PromptCard {
            width: root.width
            toolName: "Bash"
            detail: "rm -rf node_modules"
        }
    }

    // The controller as the session page reads it: one row, and what became
    // of the prompts answered.
    Component {
        id: clientComponent
        QtObject {
            id: client
            property int revision: 0
            property var row: ({})
            property string outcome: ""
            property string notice: ""
            property var answers: []
            property QtObject sessions: QtObject {
                function get(key) { return client.row }
            }
            function promptOutcome(key, promptId) { return client.outcome }
            function answer(key, promptId, decision) { answers.push(promptId + " " + decision) }
            function show(row, outcome) {
                client.row = row
                client.outcome = outcome
                ++client.revision
            }
        }
    }
    Component {
        id: pageComponent
        SessionPage {
            width: root.width
            height: root.height
            key: "claude:s-ask"
        }
    }

    function waiting(promptId, rule) {
        return { key: "claude:s-ask", provider: "claude", projectName: "checkout-service", title: "Clean the build",
                 status: "waitingForInput", statusLabel: "Needs input", updatedAt: new Date(), runningSince: undefined,
                 taskDone: 0, taskTotal: 0, hasPrompt: true, promptId: promptId, toolName: "Bash",
                 detail: "rm -rf node_modules", alwaysRule: rule }
    }
    function working() {
        return { key: "claude:s-ask", provider: "claude", projectName: "checkout-service", title: "Clean the build",
                 status: "working", statusLabel: "Working", updatedAt: new Date(), runningSince: new Date(),
                 taskDone: 0, taskTotal: 0, hasPrompt: false }
    }

    TestCase {
        name: "PromptCard"
        when: windowShown

        function test_answers_offered_data() {
            return [
                { tag: "without a rule", rule: "", outcome: "", answers: ["denyButton", "allowButton"] },
                { tag: "with a rule", rule: "Bash(rm:*)", outcome: "",
                  answers: ["denyButton", "alwaysButton", "allowButton"] },
                { tag: "answered", rule: "Bash(rm:*)", outcome: "Answered elsewhere.", answers: [] },
            ]
        }
        function test_answers_offered(data) {
            const card = createTemporaryObject(cardComponent, root, { alwaysRule: data.rule, outcome: data.outcome })
            for (const name of ["denyButton", "alwaysButton", "allowButton"])
                compare(findChild(card, name).visible, data.answers.indexOf(name) >= 0, name)
            const rule = findChild(card, "alwaysRule")
            compare(rule.visible, data.answers.indexOf("alwaysButton") >= 0)
            verify(rule.text.indexOf(data.rule) >= 0, rule.text)
            compare(findChild(card, "promptOutcome").visible, data.outcome.length > 0)
        }
    }

    TestCase {
        name: "SessionPage"
        when: windowShown

        function test_an_answered_prompt_gives_way_to_its_outcome_and_a_new_one_brings_the_answers_back() {
            const client = createTemporaryObject(clientComponent, root)
            const page = createTemporaryObject(pageComponent, root, { client: client })
            client.show(root.waiting("p-1", "Bash(rm:*)"), "")
            const always = findChild(page, "alwaysButton")
            verify(always.visible)
            mouseClick(always)
            compare(client.answers, ["p-1 always"])
            verify(!always.enabled, "one answer at a time")

            // The refresh after the answer: the session works again.
            client.show(root.working(), "Always allowed from this phone.")
            verify(findChild(page, "promptCard").visible, "the answered prompt stays, with its outcome")
            compare(findChild(page, "promptOutcome").text, "Always allowed from this phone.")
            verify(!findChild(page, "answers").visible)

            client.show(root.waiting("p-2", ""), "")
            verify(findChild(page, "allowButton").visible)
            verify(findChild(page, "allowButton").enabled)
            verify(!findChild(page, "alwaysButton").visible, "the new prompt has no rule")
        }
    }
}
