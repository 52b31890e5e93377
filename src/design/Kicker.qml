import QtQuick
import Verseloom.Design

// The small amber label above a title, always in capitals.
Text {
    font.family: "Anton"
    font.pixelSize: 12
    font.letterSpacing: 2
    font.capitalization: Font.AllUppercase
    color: Theme.amber
}
