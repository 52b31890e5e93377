import QtQuick
import QtWebEngine
import Verseloom.Screens

// The vendor's account pages inside the key sheet. It loads `startUrl` once, when it is
// built, keeps pages that ask for a new window in this same view, and reports nothing
// but the address it shows: after each committed and each finished navigation.
WebEngineView {
    id: webView

    // Read once, at creation; changing it later does not navigate.
    property url startUrl

    signal urlReported(url address)

    profile: FalAccountProfile
    // The vendor's copy button writes the key to the clipboard; pages never read it.
    settings.javascriptCanAccessClipboard: true
    settings.javascriptCanPaste: false

    Component.onCompleted: url = startUrl

    // A page that has not loaded within this time is stopped; the view keeps what it
    // shows then, as for any failed load.
    property int loadTimeLimit: 60000

    onUrlChanged: urlReported(url)
    onLoadingChanged: loadingInfo => {
        if (loadingInfo.status === WebEngineView.LoadStartedStatus)
            loadDeadline.restart();
        else
            loadDeadline.stop();
        if (loadingInfo.status === WebEngineView.LoadSucceededStatus
                || loadingInfo.status === WebEngineView.LoadFailedStatus)
            urlReported(url);
    }

    Timer {
        id: loadDeadline
        interval: webView.loadTimeLimit
        onTriggered: webView.stop()
    }
    // Never a second window: the page opens here instead. A request without a real
    // address (an empty window.open()) changes nothing.
    onNewWindowRequested: request => openInPlace(request.requestedUrl)

    function openInPlace(address) {
        const text = address.toString();
        if (text === "" || text.startsWith("about:"))
            return false;
        url = address;
        return true;
    }
}
