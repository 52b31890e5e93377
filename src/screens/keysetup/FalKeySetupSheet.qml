import QtQuick
import Verseloom.Design
import Verseloom.Screens

// The fal key sheet as the settings window and the onboarding present it. The controller
// lives for the whole run; each opening starts its watch afresh and builds a new page.
Sheet {
    id: sheet

    required property KeySetupController controller

    title: controller.title
    onVisibleChanged: visible ? controller.open() : controller.close()

    FalKeySetupView {
        controller: sheet.controller
        live: sheet.visible
        onCloseRequested: sheet.close()
    }
}
