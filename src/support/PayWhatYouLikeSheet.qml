import QtQuick
import Verseloom.Design
import Verseloom.Support

// The contribution sheet as the main window presents it: shown while the controller asks
// for it; however it closes, the controller hears of it. Closing leaves a running
// payment check going.
Sheet {
    id: sheet

    required property SupportController support
    property string source: "macos-menu"

    title: "Pay what you like"

    function follow() {
        if (support.isPresented && !visible)
            open();
        else if (!support.isPresented && visible)
            close();
    }

    Component.onCompleted: follow()
    onDismissed: support.isPresented = false
    Connections {
        target: sheet.support
        function onIsPresentedChanged() { sheet.follow(); }
    }

    PayWhatYouLikeView {
        support: sheet.support
        source: sheet.source
        onCloseRequested: sheet.support.isPresented = false
    }
}
