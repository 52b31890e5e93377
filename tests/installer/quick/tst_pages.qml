import QtQuick
import QtTest
import Verseloom.Installer
import Verseloom.InstallerTest

Item {
    id: root
    width: 1000
    height: 640

    Component {
        id: viewComponent
        InstallerView {}
    }

    TestCase {
        name: "InstallerPages"
        when: windowShown

        function makeView(withWhisper) {
            const controller = Harness.newController(withWhisper === true)
            const view = createTemporaryObject(viewComponent, root,
                                               { controller: controller, width: 1000, height: 640 })
            verify(view !== null)
            return view
        }

        function item(view, name) {
            const found = findChild(view, name)
            verify(found !== null, "no item named " + name)
            return found
        }

        function goTo(view, step) {
            const model = view.controller.model
            while (model.step < step)
                model.advance()
            wait(30)
        }

        function continueEnabled(view) {
            const button = item(view, "continueButton")
            return button.visible && button.enabled
        }

        function test_continueFollowsEachCheckbox() {
            const view = makeView()
            verify(continueEnabled(view), "the welcome page lets the user go on")
            compare(item(view, "backButton").visible, false)
            for (let step = 1; step <= 3; ++step) {
                goTo(view, step)
                const box = item(view, "acceptance")
                verify(!continueEnabled(view))
                mouseClick(box)
                tryVerify(() => continueEnabled(view))
                mouseClick(box)
                tryVerify(() => !continueEnabled(view), 5000, "clearing the box closes the page again")
                mouseClick(box)
                tryVerify(() => continueEnabled(view))
            }
            const model = view.controller.model
            verify(model.acceptedLicense && model.acceptedTerms && model.acceptedPrivacy)
        }

        function test_continueFollowsProfileTyping() {
            const view = makeView()
            goTo(view, 5)
            const name = item(view, "firstNameField")
            const email = item(view, "emailField")
            verify(!continueEnabled(view))
            mouseClick(name)
            keyClick(Qt.Key_Space)
            keyClick(Qt.Key_Space)
            compare(view.controller.model.firstName, "  ")
            verify(!continueEnabled(view), "a blank name is no name")
            keyClick(Qt.Key_A)
            mouseClick(email)
            for (const key of [Qt.Key_A, Qt.Key_At, Qt.Key_B])
                keyClick(key)
            verify(!continueEnabled(view), "an address needs a dot too")
            keyClick(Qt.Key_Period)
            keyClick(Qt.Key_C)
            tryVerify(() => continueEnabled(view))
            compare(view.controller.model.email, "a@b.c")
        }

        function test_sidebarMarksTheProfilePageAndRowsDoNotNavigate() {
            const view = makeView()
            goTo(view, 5)
            for (let row = 0; row < 11; ++row) {
                const stepRow = item(view, "stepRow" + row)
                compare(stepRow.isDone, row < 5, "row " + row)
                compare(stepRow.isActive, row === 5, "row " + row)
            }
            mouseClick(item(view, "stepRow1"))
            mouseClick(item(view, "stepRow9"))
            compare(view.controller.model.step, 5)
            compare(item(view, "pageTitle").text, "Tell Us Who You Are")
        }

        function countOptions(view) {
            let count = 0
            while (findChild(view, "whisperOption" + count) !== null)
                ++count
            return count
        }

        function test_speechOptions_data() {
            return [{ tag: "nothing found", whisper: false, options: 2, selected: 1 },
                    { tag: "a Whisper found", whisper: true, options: 3, selected: 0 }]
        }

        function test_speechOptions(data) {
            const view = makeView(data.whisper)
            goTo(view, 7)
            tryVerify(() => countOptions(view) === data.options, 10000)
            for (let i = 0; i < data.options; ++i)
                compare(item(view, "whisperOption" + i).selected, i === data.selected, "option " + i)
            // A click moves the choice and the component list follows; the page stays.
            mouseClick(item(view, "whisperOption" + (data.options - 2)))
            tryVerify(() => item(view, "whisperOption" + (data.options - 2)).selected)
            compare(view.controller.model.components.length, 6)
            compare(view.controller.model.components[5].id, "whisper")
            mouseClick(item(view, "whisperOption" + (data.options - 1)))
            tryVerify(() => view.controller.model.components.length === 5)
            compare(view.controller.model.step, 7)
        }

        function test_useDefaultShowsTheAppManagedFolder() {
            const view = makeView()
            view.controller.model.exportDestination = "/home/ann/Videos/Lyric videos"
            goTo(view, 6)
            compare(item(view, "exportFolderText").text, "/home/ann/Videos/Lyric videos")
            mouseClick(item(view, "useDefaultButton"))
            compare(view.controller.model.exportDestination, "")
            compare(item(view, "exportFolderText").text, "Use the app-managed folder")
        }

        function test_documents_data() {
            return [{ tag: "licence", step: 1, height: 220, title: "Quillmarsh Verseloom License", paragraphs: 3 },
                    { tag: "terms", step: 2, height: 260, title: "Quillmarsh Verseloom Terms of Use", paragraphs: 4 },
                    { tag: "privacy", step: 3, height: 260, title: "Quillmarsh Verseloom Privacy Policy", paragraphs: 5 }]
        }

        function test_documents(data) {
            const view = makeView()
            goTo(view, data.step)
            compare(item(view, "documentBox").height, data.height)
            const text = item(view, "documentText")
            compare(text.textFormat, Text.PlainText)
            const parts = text.text.trim().split("\n\n")
            compare(parts[0], data.title)
            compare(parts.length, data.paragraphs + 1, "title and paragraphs, each after a blank line")
            verify(text.lineCount >= 2 * data.paragraphs + 1, "blank lines are drawn too")
        }
    }
}
