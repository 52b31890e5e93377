import QtQuick
import QtTest
import Verseloom.Screens
import Verseloom.ScreensTest

// Each screen offscreen over the fixture projects: its forms, its texts, and typing that
// keeps the field under the cursor.
Item {
    id: root
    width: 960
    height: 1400

    Component { id: intakeView; IntakeView { width: root.width } }
    Component { id: unsizedIntakeView; IntakeView {} }
    Component { id: timingView; TimingReviewView { width: root.width } }
    Component { id: charactersView; CharacterManagerView { width: root.width } }
    Component { id: styleView; StyleGuidanceView { width: root.width } }
    Component { id: storyboardView; StoryboardView { width: root.width } }
    Component { id: elementCard; ElementCard { width: 150 } }

    // Types one character at `position` of a field and checks that the field, its
    // delegate and the cursor survive the change the keystroke causes.
    function typeInto(test, holder, holderName, fieldName, position) {
        const field = test.findChild(holder, fieldName)
        test.verify(field, fieldName)
        field.forceActiveFocus()
        field.cursorPosition = position
        Fixtures.resetCounts()
        test.keyClick(Qt.Key_X)
        test.compare(Fixtures.projectChanges, 1, "one change of the project")
        test.compare(field.cursorPosition, position + 1, "the cursor moved on by one")
        test.verify(field.activeFocus, "the field kept the focus")
        return field
    }

    function shoot(test, item, name) {
        if (Fixtures.screenShots !== "")
            test.grabImage(item).save(Fixtures.screenShots + "/" + name + ".png")
    }

    TestCase {
        name: "Intake"
        when: windowShown

        function test_formsFollowTheProject() {
            Fixtures.load("empty")
            const view = createTemporaryObject(intakeView, root)
            verify(findChild(view, "importHero").visible)
            verify(!findChild(view, "trackDetails").visible)
            shoot(this, view, "intake-hero")

            Fixtures.load("track")
            tryVerify(() => findChild(view, "trackDetails").visible)
            verify(!findChild(view, "importHero").visible)
            compare(findChild(view, "lineCount").text, "3 lines")
            compare(findChild(view, "audioFileName").text, "neon-overpass.mp3")
            compare(findChild(view, "lyricsSourceChip").text, "Lyrics from file")
            verify(findChild(view, "lyricsPanel").visible)
            verify(findChild(view, "alignButton").enabled)
            shoot(this, view, "intake-details")

            Fixtures.load("noLyrics")
            verify(findChild(view, "noLyricsPanel").visible)
            verify(!findChild(view, "lyricsPanel").visible)
            verify(!findChild(view, "alignButton").enabled)
            mouseClick(findChild(view, "manualLyricsButton"))
            verify(findChild(view, "lyricsPanel").visible)
            compare(findChild(view, "lyricsSourceChip").text, "Edited manually")
            verify(findChild(view, "alignButton").enabled)
        }

        function test_typingLyricsKeepsTheEditorAndCursor() {
            Fixtures.load("track")
            const view = createTemporaryObject(intakeView, root)
            const editor = root.typeInto(this, view, "lyricsPanel", "lyricsEditor", 4)
            compare(Fixtures.lyrics().slice(0, 6), "Cityx ")
            compare(findChild(view, "lyricsEditor"), editor)
            compare(findChild(view, "lyricsSourceChip").text, "Edited manually")
            // The timing went with the first edit; the next keystroke changes no list.
            Fixtures.resetCounts()
            keyClick(Qt.Key_Y)
            compare(Fixtures.rowsRebuilt, 0)
            compare(editor.cursorPosition, 6)
        }

        // Laid out at the few pixels a page has while it is sized, long lyrics would take
        // a line for every character: the editor holds them only once it has its width.
        function test_theLyricsWaitForTheEditorsWidth() {
            Fixtures.load("track")
            const view = createTemporaryObject(unsizedIntakeView, root)
            const editor = findChild(view, "lyricsEditor")
            verify(editor.width < 200, "the editor is " + editor.width + " wide")
            compare(editor.text, "")
            Fixtures.resetCounts()
            view.width = root.width
            compare(editor.text, Fixtures.lyrics())
            compare(Fixtures.projectChanges, 0, "showing the lyrics is no edit")
        }

        function test_titleField() {
            Fixtures.load("track")
            const view = createTemporaryObject(intakeView, root)
            root.typeInto(this, view, "trackDetails", "titleField", 4)
            compare(findChild(view, "titleField").text, "Neonx Overpass")
        }
    }

    TestCase {
        name: "Timing"
        when: windowShown

        function test_rowsStepperAndEmptyState() {
            Fixtures.load("track")
            const view = createTemporaryObject(timingView, root)
            const row = findChild(view, "segmentRow1")
            verify(row)
            compare(findChild(row, "startText").text, "1:00")
            compare(findChild(row, "endText").text, "1:01")
            compare(findChild(view, "durationText").text, "1:01")
            shoot(this, view, "timing")

            Fixtures.resetCounts()
            waitForRendering(view) // new rows are laid out on the next frame
            mouseClick(findChild(row, "endUp"))
            compare(Fixtures.dataChanges, 1)
            compare(findChild(row, "endText").text, "1:02")
            compare(findChild(view, "segmentRow1"), row)

            Fixtures.load("empty")
            verify(findChild(view, "emptyTranscript").visible)
            verify(!findChild(view, "timingFooter").visible)
            Fixtures.load("track")
            Fixtures.load("empty")
            ScreenServices.store.selectedStage = 1
            mouseClick(findChild(view, "backToIntakeButton"))
            compare(Fixtures.stage, 0)
        }

        function test_typingALineKeepsTheRow() {
            Fixtures.load("track")
            const view = createTemporaryObject(timingView, root)
            const row = findChild(view, "segmentRow0")
            root.typeInto(this, row, "segmentRow0", "lyricField", 4)
            compare(Fixtures.dataChanges, 1)
            compare(Fixtures.rowsRebuilt, 0)
            compare(Fixtures.segmentText(0), "Cityx lights are burning low")
            compare(findChild(view, "segmentRow0"), row)
        }
    }

    TestCase {
        name: "Characters"
        when: windowShown

        function test_cardsAndTheStoryboardButton() {
            Fixtures.load("empty")
            const view = createTemporaryObject(charactersView, root)
            verify(findChild(view, "noCharacters").visible)
            verify(!findChild(view, "storyboardButton").visible)

            Fixtures.load("cast")
            const first = findChild(view, "characterCard0")
            const second = findChild(view, "characterCard1")
            verify(first && second)
            verify(!findChild(first, "activeChip").visible)
            verify(findChild(second, "activeChip").visible)
            compare(findChild(second, "activeChip").text, "Active")
            compare(findChild(first, "statusChip").text, "No reference image")
            compare(findChild(second, "statusChip").text, "Character ready")
            compare(findChild(first, "referenceButton").text, "Add reference…")
            compare(findChild(second, "referenceButton").text, "Replace reference…")
            const button = findChild(view, "storyboardButton")
            verify(button.visible)
            compare(button.text, "Generate storyboard")
            verify(button.enabled)
            shoot(this, view, "characters")

            waitForRendering(view) // new cards are laid out on the next frame
            mouseClick(findChild(first, "primaryCheck"))
            verify(findChild(first, "activeChip").visible)
            verify(!findChild(view, "storyboardButton").visible)
        }

        // Past three lines the concept field stops growing and scrolls, caret in view.
        function test_conceptFieldScrollsPastThreeLines() {
            Fixtures.load("cast")
            const view = createTemporaryObject(charactersView, root)
            const field = findChild(view, "conceptField")
            field.forceActiveFocus()
            field.text = ""
            for (let line = 1; line <= 6; ++line) {
                if (line > 1)
                    keyClick(Qt.Key_Return)
                for (const c of "line" + line)
                    keyClick(c)
            }
            compare(field.text.split("\n").length, 6)
            waitForRendering(view)
            let box = field
            while (box && !box.clip)
                box = box.parent
            verify(box, "something clips the field")
            const lines = field.contentHeight / field.lineCount
            verify(box.height <= 3 * lines + 18 + 2, "three lines at most: " + box.height)
            verify(box.height >= 2 * lines + 18, "grown past one line: " + box.height)
            const caret = field.mapToItem(box, field.cursorRectangle)
            verify(caret.y >= -1 && caret.y + caret.height <= box.height + 1,
                   "the caret is in view: " + caret.y + " in " + box.height)
        }

        // A thumbnail over the pixel limit is refused and shows the placeholder; one
        // beside it that reads shows its picture.
        function test_aThumbnailOverTheLimitShowsThePlaceholder() {
            Fixtures.load("overLimit")
            const view = createTemporaryObject(charactersView, root)
            const big = findChild(view, "characterCard0")
            const small = findChild(view, "characterCard1")
            verify(String(findChild(big, "thumbnail").source).startsWith("image://picture/"))
            tryVerify(() => findChild(big, "thumbnail").status === Image.Error, 20000, "the picture was refused")
            verify(findChild(big, "thumbnailPlaceholder").visible)
            tryVerify(() => findChild(small, "thumbnail").status === Image.Ready, 20000, "the small picture shows")
            verify(!findChild(small, "thumbnailPlaceholder").visible)
            shoot(this, view, "characters-over-limit")
        }

        function test_typingANameKeepsTheCard() {
            Fixtures.load("cast")
            const view = createTemporaryObject(charactersView, root)
            const card = findChild(view, "characterCard0")
            root.typeInto(this, card, "characterCard0", "nameField", 2)
            compare(Fixtures.dataChanges, 1)
            compare(Fixtures.rowsRebuilt, 0)
            compare(Fixtures.characterName(0), "Maxra")
            compare(findChild(view, "characterCard0"), card)
        }
    }

    TestCase {
        name: "Style"
        when: windowShown

        function test_previewFollowsTheFields() {
            Fixtures.load("empty")
            const view = createTemporaryObject(styleView, root)
            const preview = findChild(view, "promptPreview")
            verify(preview.text.indexOf("\"City lights are burning low\" is physically present on a hand-painted marker sign") >= 0,
                   preview.text)
            shoot(this, view, "style")
            const mood = findChild(findChild(view, "moodField"), "input")
            mood.forceActiveFocus()
            mood.cursorPosition = 0
            keyClick(Qt.Key_X)
            verify(preview.text.startsWith("xVivid"), preview.text)
            compare(mood.cursorPosition, 1)

            const before = preview.text
            const negative = findChild(findChild(view, "negativePromptsField"), "input")
            negative.forceActiveFocus()
            keyClick(Qt.Key_X)
            compare(preview.text, before)
        }
    }

    TestCase {
        name: "Storyboard"
        when: windowShown

        function test_emptyForms() {
            Fixtures.load("empty")
            const view = createTemporaryObject(storyboardView, root)
            verify(findChild(view, "emptyStoryboard").visible)
            compare(findChild(view, "emptyTitle").text, "Set up a character first")
            verify(findChild(view, "goToCharactersButton").visible)
            verify(!findChild(view, "planButton").visible)

            Fixtures.load("cast")
            compare(findChild(view, "emptyTitle").text, "No storyboard yet")
            verify(findChild(view, "planButton").visible)
            verify(findChild(view, "planButton").enabled)
            shoot(this, view, "storyboard-empty")
            Fixtures.load("empty")
            mouseClick(findChild(view, "goToCharactersButton"))
            compare(Fixtures.stage, 2)
        }

        function test_plannedProject() {
            Fixtures.load("planned")
            const view = createTemporaryObject(storyboardView, root)
            verify(!findChild(view, "emptyStoryboard").visible)
            compare(findChild(view, "elementsTitle").text, "Elements · 2/5 rendered")
            verify(findChild(view, "renderElementsButton").visible)
            compare(findChild(view, "countsText").text, "12 frames · 3 generated")
            const fan = findChild(view, "swatchFan")
            verify(fan.visible)
            compare(findChild(fan, "swatches").count, 7)
            compare(findChild(fan, "swatch0").angle, -23)
            compare(findChild(fan, "swatch6").angle, 23)

            const generated = findChild(view, "chunkCard0")
            compare(findChild(generated, "frameChip").text, "Generated")
            compare(findChild(generated, "generateButton").text, "Regenerate")
            const fresh = findChild(view, "chunkCard5")
            compare(findChild(fresh, "frameChip").text, "Not generated")
            compare(findChild(fresh, "generateButton").text, "Generate")
            compare(findChild(fresh, "chunkStart").text, "0:20")
            verify(findChild(fresh, "lyricExcerpt").visible)
            verify(!findChild(findChild(view, "chunkCard1"), "lyricExcerpt").visible)
            verify(!findChild(findChild(view, "chunkCard2"), "characterChip").visible)
            tryVerify(() => findChild(view, "elementImage").visible, 5000, "a local element image shows")
            shoot(this, view, "storyboard-planned")

            mouseClick(findChild(view, "generateAllButton"))
            compare(Fixtures.stage, 4)
            Fixtures.waitIdle()
        }

        // What the picture box of an element card settles on for each kind of source.
        // Every source is a picture provider address: only PNG, JPEG or WebP within the
        // pixel limit show; the rest, and a picture that does not come, show the placeholder.
        function test_elementCardPictureBox_data() {
            return [
                { tag: "no picture yet", source: "", remote: false, placeholder: true },
                { tag: "a picture that reads", source: Fixtures.fileAddress("picture"), remote: false,
                  placeholder: false, halves: true },
                { tag: "a local file that is no picture", source: Fixtures.fileAddress("notAPicture"),
                  remote: false, placeholder: true },
                { tag: "a format Qt reads but we do not take", source: Fixtures.fileAddress("bmp"),
                  remote: false, placeholder: true },
                { tag: "a picture over the pixel limit", source: Fixtures.fileAddress("overLimit"),
                  remote: false, placeholder: true },
                { tag: "a header claiming 900 megapixels", source: Fixtures.fileAddress("claims900MP"),
                  remote: false, placeholder: true },
                { tag: "a remote picture", source: Fixtures.webAddress(Fixtures.vendorPicture(0, false)),
                  remote: true, placeholder: false },
                { tag: "a remote picture that does not come shows the placeholder, not a spinner",
                  source: Fixtures.webAddress("http://127.0.0.1:9/missing.png"), remote: true, placeholder: true },
                { tag: "a remote picture that is not there",
                  source: Fixtures.webAddress(Fixtures.vendorPicture(0, true)), remote: true, placeholder: true },
            ]
        }

        function test_elementCardPictureBox(data) {
            const card = createTemporaryObject(elementCard, root,
                                               { imageSource: data.source, isRemoteImage: data.remote })
            const image = findChild(card, "elementImage")
            if (data.source !== "")
                tryVerify(() => image.status === Image.Ready || image.status === Image.Error, 20000,
                          "the load ended")
            compare(findChild(card, "placeholder").visible, data.placeholder)
            verify(!findChild(card, "imageSpinner").visible, "no spinner once the load ended")
            compare(image.visible, !data.placeholder)
            if (data.halves) {
                // Drawn, not only loaded: red on the left, blue on the right, corners cut.
                const box = findChild(card, "imageBox")
                tryVerify(() => {
                    const shot = grabImage(box)
                    return Qt.colorEqual(shot.pixel(30, 48), "#ff0000")
                        && Qt.colorEqual(shot.pixel(box.width - 30, 48), "#0000ff")
                }, 5000, "the picture is drawn")
                const shot = grabImage(box)
                verify(!Qt.colorEqual(shot.pixel(1, 1), "#ff0000"), "the corner is rounded off")
            }
        }

        function test_aPictureOnItsWayShowsTheSpinner() {
            const card = createTemporaryObject(elementCard, root, {
                imageSource: Fixtures.webAddress(Fixtures.vendorPicture(30000, false)), isRemoteImage: true })
            const image = findChild(card, "elementImage")
            tryVerify(() => image.status === Image.Loading, 5000)
            verify(findChild(card, "imageSpinner").visible)
            verify(!findChild(card, "placeholder").visible)
        }

        // The models name pictures over the limit; the cards never decode them.
        function test_picturesOverTheLimitShowThePlaceholder() {
            Fixtures.load("overLimit")
            const view = createTemporaryObject(storyboardView, root)
            const card = findChild(view, "elementCard")
            const image = findChild(card, "elementImage")
            verify(String(card.imageSource).startsWith("image://picture/"), card.imageSource)
            tryVerify(() => image.status === Image.Error, 20000, "the picture was refused")
            verify(findChild(card, "placeholder").visible)
            verify(!findChild(card, "imageSpinner").visible)
            verify(!image.visible)
            shoot(this, view, "storyboard-over-limit")
        }

        function test_typingIntoAChunkKeepsTheCard() {
            Fixtures.load("planned")
            const view = createTemporaryObject(storyboardView, root)
            const card = findChild(view, "chunkCard4")
            root.typeInto(this, card, "chunkCard4", "renderedTextField", 2)
            compare(Fixtures.dataChanges, 1)
            compare(Fixtures.rowsRebuilt, 0)
            compare(Fixtures.chunkText(4), "lixne 5")
            compare(findChild(view, "chunkCard4"), card)

            const prompt = root.typeInto(this, card, "chunkCard4", "imagePromptField", 1)
            compare(Fixtures.dataChanges, 1)
            compare(prompt.text.slice(0, 6), "ax wet")
        }
    }
}
