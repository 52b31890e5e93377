import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// Every design component in every state, on the backdrop: a picture to check the look
// against (tst_gallery renders it to gallery.png). Not a screen of the product.
Item {
    id: gallery
    width: 1200
    height: 1180

    component Swatch: Column {
        property color swatch
        property string label
        spacing: 4
        Rectangle {
            width: 74; height: 34; radius: 6
            color: parent.swatch
            border.color: Theme.glow
        }
        Text { text: parent.label; color: Theme.muted; font.pixelSize: 10 }
    }

    component Labelled: Column {
        property string caption
        spacing: 6
        Text { text: parent.caption; color: Theme.muted; font.pixelSize: 10 }
    }

    component Caption: Text {
        color: Theme.muted
        font.pixelSize: 10
    }

    Backdrop { anchors.fill: parent }

    ColumnLayout {
        anchors.fill: parent
        anchors.margins: 24
        spacing: 20

        SurfaceHeader {
            kicker: "Design system"
            title: "Component Gallery"
            subtitle: "Every shared component in each of its states, drawn on the window backdrop. The subtitle is long on purpose: it must wrap onto as many lines as it needs instead of being cut off at the edge of the header, whatever the width of the window happens to be."
        }

        RowLayout {
            spacing: 20
            Layout.fillWidth: true

            Panel {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                ColumnLayout {
                    spacing: 10
                    Kicker { text: "Palette" }
                    Flow {
                        Layout.fillWidth: true
                        spacing: 8
                        Swatch { swatch: Theme.night; label: "night" }
                        Swatch { swatch: Theme.surface; label: "surface" }
                        Swatch { swatch: Theme.cream; label: "cream" }
                        Swatch { swatch: Theme.muted; label: "muted" }
                        Swatch { swatch: Theme.lime; label: "lime" }
                        Swatch { swatch: Theme.coral; label: "coral" }
                        Swatch { swatch: Theme.amber; label: "amber" }
                        Swatch { swatch: Theme.pine; label: "pine" }
                        Swatch { swatch: Theme.glow; label: "glow" }
                        Swatch { swatch: Theme.glowSoft; label: "glowSoft" }
                        Swatch { swatch: Theme.intentColor(Intent.Good); label: "good" }
                    }
                    Kicker { text: "Hex reader" }
                    Flow {
                        Layout.fillWidth: true
                        spacing: 8
                        Swatch { swatch: Theme.colorFromHex("#d6ee27"); label: "#d6ee27" }
                        Swatch { swatch: Theme.colorFromHex("FF6748"); label: "FF6748" }
                        Swatch { swatch: Theme.colorFromHex(" 0f#392f "); label: "' 0f#392f '" }
                        Swatch { swatch: Theme.colorFromHex("abc"); label: "abc → muted" }
                        Swatch { swatch: Theme.colorFromHex("d6ee27ff"); label: "8 digits" }
                    }
                }
            }

            Panel {
                Layout.preferredWidth: 360
                Layout.alignment: Qt.AlignTop
                ColumnLayout {
                    spacing: 10
                    Kicker { text: "Status chips" }
                    Flow {
                        Layout.fillWidth: true
                        spacing: 8
                        StatusChip { text: "neutral"; intent: Intent.Neutral }
                        StatusChip { text: "pending"; intent: Intent.Pending }
                        StatusChip { text: "done"; intent: Intent.Good }
                        StatusChip { text: "warn"; intent: Intent.Warn }
                        StatusChip { text: "unavailable"; intent: Intent.Bad }
                        StatusChip { text: "active"; intent: Intent.Accent }
                    }
                    Kicker { text: "Progress meter" }
                    GridLayout {
                        columns: 2
                        columnSpacing: 10
                        rowSpacing: 8
                        Layout.fillWidth: true
                        Caption { text: "−0.5" }
                        ProgressMeter { value: -0.5; Layout.fillWidth: true }
                        Caption { text: "0.25" }
                        ProgressMeter { value: 0.25; Layout.fillWidth: true }
                        Caption { text: "0.7 coral" }
                        ProgressMeter { value: 0.7; tint: Theme.coral; Layout.fillWidth: true }
                        Caption { text: "1.7" }
                        ProgressMeter { value: 1.7; tint: Theme.amber; Layout.fillWidth: true }
                        Caption { text: "NaN" }
                        ProgressMeter { value: NaN; tint: Theme.intentColor(Intent.Good); Layout.fillWidth: true }
                    }
                }
            }
        }

        Panel {
            Layout.fillWidth: true
            ColumnLayout {
                spacing: 12
                Kicker { text: "Buttons" }
                RowLayout {
                    spacing: 14
                    Labelled { caption: "primary"; PrimaryButton { text: "Generate storyboard"; symbol: "sparkles" } }
                    Labelled { caption: "pressed"; PrimaryButton { text: "Export"; down: true } }
                    Labelled { caption: "disabled look"; PrimaryButton { text: "Align timing"; symbol: "waveform"; styleEnabled: false; enabled: false } }
                    Labelled { caption: "disabled look, pressed"; PrimaryButton { text: "Send"; styleEnabled: false; down: true } }
                    Labelled { caption: "secondary"; SecondaryButton { text: "Not Now" } }
                    Labelled { caption: "pressed"; SecondaryButton { text: "Replace…"; down: true } }
                    Labelled { caption: "with symbol"; SecondaryButton { text: "Open in Browser"; symbol: "safari" } }
                    Labelled {
                        caption: "icon only"
                        Row {
                            spacing: 6
                            SecondaryButton { symbol: "arrow.uturn.backward" }
                            SecondaryButton { symbol: "arrow.uturn.forward" }
                        }
                    }
                }
            }
        }

        RowLayout {
            spacing: 20
            Layout.fillWidth: true

            Panel {
                Layout.fillWidth: true
                Layout.alignment: Qt.AlignTop
                ColumnLayout {
                    spacing: 10
                    Kicker { text: "Fields" }
                    ChromeTextField { Layout.fillWidth: true; placeholderText: "Song title"; font.pixelSize: 13 }
                    ChromeTextField { Layout.fillWidth: true; text: "Neon Overpass"; font.pixelSize: 13 }
                    ChromeTextField { Layout.fillWidth: true; text: "secret-key"; echoMode: TextInput.Password; font.pixelSize: 13 }
                    ChromeTextArea {
                        Layout.fillWidth: true
                        font.pixelSize: 13
                        text: "A multi-line field grows with its text;\nthe outline grows with it\nand the margins stay."
                    }
                    FieldChrome {
                        Layout.fillWidth: true
                        RowLayout {
                            spacing: 8
                            Icon { name: "waveform"; color: Theme.lime; size: 13 }
                            Text {
                                Layout.fillWidth: true
                                text: "/home/user/Music/a very long folder name that does not fit/song.m4a"
                                elide: Text.ElideMiddle
                                color: Theme.cream
                                font.pixelSize: 12
                                font.weight: Font.Medium
                            }
                            SecondaryButton { text: "Replace…" }
                        }
                    }
                }
            }

            Panel {
                Layout.preferredWidth: 520
                Layout.alignment: Qt.AlignTop
                ColumnLayout {
                    spacing: 10
                    Kicker { text: "Icons · every symbol" }
                    Flow {
                        Layout.fillWidth: true
                        spacing: 6
                        Repeater {
                            model: ["app.badge", "arrow.clockwise", "arrow.down.app", "arrow.down.circle",
                                "arrow.right", "arrow.up.left.and.arrow.down.right.magnifyingglass",
                                "arrow.up.right.square", "arrow.uturn.backward", "arrow.uturn.forward",
                                "bolt.shield", "checklist", "checkmark.circle.fill", "checkmark.seal",
                                "checkmark.seal.fill", "checkmark.shield", "checkmark.shield.fill",
                                "checkmark.square.fill", "circle", "clock", "cpu", "creditcard", "cube",
                                "cube.transparent", "doc.text", "exclamationmark.triangle.fill", "folder",
                                "gearshape", "icloud.slash", "infinity", "info.circle.fill", "key.fill",
                                "largecircle.fill.circle", "lock.fill", "lock.shield", "macwindow", "map",
                                "minus.circle", "paintpalette", "paperplane.fill", "person.crop.circle",
                                "person.crop.circle.badge.checkmark", "person.crop.rectangle.stack",
                                "person.fill", "person.text.rectangle", "photo.on.rectangle.angled",
                                "photo.stack", "play.circle.fill", "play.rectangle", "rectangle.grid.1x2",
                                "safari", "sparkles", "square", "square.and.arrow.down",
                                "square.and.arrow.down.on.square", "square.and.arrow.up",
                                "square.and.arrow.up.fill", "text.cursor", "textformat", "trash",
                                "trash.slash", "wand.and.rays", "wand.and.stars", "waveform",
                                "waveform.badge.magnifyingglass", "waveform.badge.plus", "xmark",
                                "xmark.circle.fill"]
                            delegate: Icon {
                                required property string modelData
                                required property int index
                                name: modelData
                                size: 18
                                color: [Theme.cream, Theme.lime, Theme.amber, Theme.coral][index % 4]
                            }
                        }
                    }
                    Kicker { text: "Fonts" }
                    Text { text: "Anton 30 — Lyric Video"; font.family: "Anton"; font.pixelSize: 30; color: Theme.cream }
                    Text { text: "Permanent Marker — drop your song"; font.family: "Permanent Marker"; font.pixelSize: 20; color: Theme.cream }
                }
            }
        }

        Item { Layout.fillHeight: true }
    }
}
