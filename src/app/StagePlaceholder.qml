import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// Stands in for a stage's screen until that screen is built: the stage's name and
// what it will do, and no controls that would pretend to work.
ColumnLayout {
    id: placeholder

    property string label
    property string description

    spacing: 16

    SurfaceHeader {
        Layout.fillWidth: true
        kicker: "Not built yet"
        title: placeholder.label
        subtitle: placeholder.description
    }
}
