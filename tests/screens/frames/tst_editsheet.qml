import QtQuick
import QtTest
import Verseloom.Screens
import Verseloom.ScreensFramesTest

TestCase {
    id: test
    name: "FrameEditSheet"
    when: windowShown

    Component {
        id: sheetComponent
        FrameEditSheet {
            store: Harness.store
            chunkID: Harness.chunkID
        }
    }

    function test_ctrlReturnSends() {
        const sheet = createTemporaryObject(sheetComponent, test);
        sheet.open();
        tryVerify(() => sheet.active, 5000);
        const field = findChild(sheet.contentItem, "instructionField");
        tryVerify(() => field.activeFocus, 5000, "typing goes straight into the instruction");

        // Spaces only: Ctrl+Return does nothing.
        sheet.sheetModel.text = "   ";
        Harness.keyClick(sheet, Qt.Key_Return, Qt.ControlModifier);
        wait(50);
        compare(Harness.editRequests(), 0);

        sheet.sheetModel.text = "make the sky orange";
        Harness.keyClick(sheet, Qt.Key_Return, Qt.ControlModifier);
        tryVerify(() => Harness.editRequests() === 1, 10000);
        tryVerify(() => Harness.idle() && sheet.sheetModel.text === "", 10000);
        compare(Harness.editRequestOfFrame(), "make the sky orange");
        compare(field.text, "", "the field follows the cleared text");
        sheet.close();
    }
}
