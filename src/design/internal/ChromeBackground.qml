import QtQuick
import Verseloom.Design

// The box behind every text input. It has no focus, hover or disabled look of its own.
Rectangle {
    color: Theme.faded(Theme.night, 0.6)
    radius: 8
    border.color: Theme.glow
    border.width: 1
}
