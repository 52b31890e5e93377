#pragma once

#include "screens/ScreenModel.h"

#include <QColor>
#include <QString>
#include <QVariantList>

#include <vector>

namespace vl::screens {

// The storyboard screen: planning, the elements' state, the counts and the step to the
// frames. The element grid and the chunk cards take their rows from `ScreenServices.elements`
// and `ScreenServices.chunks`.
class StoryboardModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool hasChunks READ hasChunks NOTIFY changed)
    Q_PROPERTY(bool hasUsableCharacter READ hasUsableCharacter NOTIFY changed)
    Q_PROPERTY(bool canPlan READ canPlan NOTIFY changed)
    Q_PROPERTY(QString emptyTitle READ emptyTitle NOTIFY changed)
    Q_PROPERTY(QVariantList swatches READ swatches NOTIFY changed)
    Q_PROPERTY(bool showsElements READ showsElements NOTIFY changed)
    Q_PROPERTY(QString elementsTitle READ elementsTitle NOTIFY changed)
    Q_PROPERTY(bool showsRenderButton READ showsRenderButton NOTIFY changed)
    Q_PROPERTY(QString countsText READ countsText NOTIFY changed)

public:
    static constexpr int kMaxSwatches = 7;
    static constexpr double kFanDegrees = 46; // from the first swatch's lean to the last's

    struct Swatch {
        QColor color;
        double angle = 0; // degrees, clockwise, about the swatch's bottom centre
        bool operator==(const Swatch&) const = default;
    };

    explicit StoryboardModel(QObject* parent = nullptr);
    explicit StoryboardModel(ScreenServices& services, QObject* parent = nullptr);

    // The fan of a colour scheme: its first kMaxSwatches colours, leaning evenly from
    // -23 to +23 degrees (one colour stands upright). Unreadable colours are muted.
    static std::vector<Swatch> swatchFan(const std::vector<std::string>& colorScheme);

    bool hasChunks() const { return state_.chunks > 0; }
    bool hasUsableCharacter() const { return state_.usableCharacter; }
    // A usable character and a transcript: what planning needs from the project.
    bool canPlan() const { return state_.usableCharacter && state_.hasTranscript; }
    // The title of the form without chunks: what to do first.
    QString emptyTitle() const
    {
        return state_.usableCharacter ? QStringLiteral("No storyboard yet") : QStringLiteral("Set up a character first");
    }
    QVariantList swatches() const;
    bool showsElements() const { return state_.elements > 0; }
    QString elementsTitle() const;
    bool showsRenderButton() const { return state_.rendered < state_.elements; }
    QString countsText() const;

    // "Plan storyboard": plans, then renders the elements unless planning failed.
    Q_INVOKABLE void plan();
    Q_INVOKABLE void renderElements();
    // "Generate all frames": shows the frames screen at once, then generates.
    Q_INVOKABLE void generateAllFrames();
    Q_INVOKABLE void goToCharacters();
    // A chunk card's Generate / Regenerate.
    Q_INVOKABLE void generateFrame(const QString& chunkID);

protected:
    bool refresh() override;

private:
    struct State {
        long long chunks = 0;
        long long framed = 0;
        bool usableCharacter = false;
        bool hasTranscript = false;
        long long elements = 0;
        long long rendered = 0;
        std::vector<Swatch> swatches;
        bool operator==(const State&) const = default;
    };
    State state_;
};

} // namespace vl::screens
