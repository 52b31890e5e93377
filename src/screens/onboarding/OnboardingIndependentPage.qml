pragma ComponentBehavior: Bound

import QtQuick
import Verseloom.Design

// Onboarding page one: the independent, bring-your-own-key model. Positioners with
// widths bound to the page: wrapped text then knows its width before it is laid out,
// where a layout would measure it, narrow it and lay everything out again.
Column {
    id: page
    spacing: 22

    Kicker { text: "Built independently" }
    Text {
        width: page.width
        text: "One developer. One focused creative tool."
        wrapMode: Text.Wrap
        font.family: "Anton"
        font.pixelSize: 38
        color: Theme.cream
    }
    Text {
        width: page.width
        text: "Verseloom is built and maintained by a solo independent developer who makes music and uses the app. Keeping the product direct and lightweight means more time can go into the creative workflow instead of subscriptions, account systems, and marked-up generation credits."
        wrapMode: Text.Wrap
        font.pixelSize: 14
        color: Theme.muted
    }
    Row {
        id: cards
        spacing: 14
        Repeater {
            model: [
                { symbol: "person.crop.circle", title: "A human-sized product",
                  detail: "The person building the app is also the person maintaining it, answering for it, and improving it." },
                { symbol: "key.fill", title: "Bring your own key",
                  detail: "Your generation account stays yours. You pay the model provider directly and control your own usage." },
                { symbol: "infinity", title: "No feature gate",
                  detail: "There is no required app price, trial timer, or locked creative mode." }
            ]
            delegate: Rectangle {
                id: card
                required property var modelData
                width: (page.width - 2 * cards.spacing) / 3
                implicitHeight: cardColumn.implicitHeight + 28
                radius: 8
                color: Theme.faded(Theme.surface, 0.8)
                border.color: Theme.glowSoft
                border.width: 1

                Column {
                    id: cardColumn
                    x: 14
                    y: 14
                    width: parent.width - 28
                    spacing: 9
                    Icon {
                        name: card.modelData.symbol
                        color: Theme.lime
                        size: 18
                    }
                    Text {
                        text: card.modelData.title
                        font.pixelSize: 12
                        font.bold: true
                        color: Theme.cream
                    }
                    Text {
                        width: cardColumn.width
                        text: card.modelData.detail
                        wrapMode: Text.Wrap
                        font.pixelSize: 11
                        color: Theme.muted
                    }
                }
            }
        }
    }
    Rectangle {
        width: page.width
        implicitHeight: note.implicitHeight + 28
        radius: 8
        color: Theme.faded(Theme.coral, 0.1)
        border.color: Theme.faded(Theme.coral, 0.5)
        border.width: 1
        Text {
            id: note
            x: 14
            y: 14
            width: parent.width - 28
            text: "BYOK keeps generation costs transparent today and leaves room for a simpler funded option later, without taking control away from you."
            wrapMode: Text.Wrap
            font.pixelSize: 12
            font.weight: Font.DemiBold
            color: Theme.cream
        }
    }
}
