import QtQuick
import QtTest
import Verseloom.Screens

TestCase {
    id: test
    name: "FrameEditSheet"
    when: windowShown

    Component {
        id: sheetComponent
        FrameEditSheet {
            store: harness.store
            chunkID: harness.chunkID
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
        harness.keyClick(sheet, Qt.Key_Return, Qt.ControlModifier);
        wait(50);
        compare(harness.editRequests(), 0);

        sheet.sheetModel.text = "make the sky orange";
        harness.keyClick(sheet, Qt.Key_Return, Qt.ControlModifier);
        tryVerify(() => harness.editRequests() === 1, 10000);
        tryVerify(() => harness.idle() && sheet.sheetModel.text === "", 10000);
        compare(harness.editRequestOfFrame(), "make the sky orange");
        compare(field.text, "", "the field follows the cleared text");
        sheet.close();
    }
}
