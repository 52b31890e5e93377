pragma Singleton
import QtQuick
import QtWebEngine

// The one place the vendor's pages keep their cookies and site data, on disk, so the
// user stays signed in across sheets and launches.
WebEngineProfile {
    storageName: "fal-account"
    offTheRecord: false
    persistentCookiesPolicy: WebEngineProfile.ForcePersistentCookies
}
