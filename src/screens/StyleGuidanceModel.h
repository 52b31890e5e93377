#pragma once

#include "screens/ScreenModel.h"

#include <QString>

namespace vl::screens {

// The style screen: the five fields of the project's style guidance and the image
// prompt they give, live.
class StyleGuidanceModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString paletteName READ paletteName WRITE setPaletteName NOTIFY changed)
    Q_PROPERTY(QString mood READ mood WRITE setMood NOTIFY changed)
    Q_PROPERTY(QString medium READ medium WRITE setMedium NOTIFY changed)
    Q_PROPERTY(QString continuityNotes READ continuityNotes WRITE setContinuityNotes NOTIFY changed)
    Q_PROPERTY(QString negativePrompts READ negativePrompts WRITE setNegativePrompts NOTIFY changed)
    Q_PROPERTY(QString preview READ preview NOTIFY changed)

public:
    explicit StyleGuidanceModel(QObject* parent = nullptr);
    explicit StyleGuidanceModel(ScreenServices& services, QObject* parent = nullptr);

    // The chunk the preview shows while the project has none.
    static StoryboardChunk sampleChunk();

    QString paletteName() const { return state_.paletteName; }
    QString mood() const { return state_.mood; }
    QString medium() const { return state_.medium; }
    QString continuityNotes() const { return state_.continuityNotes; }
    QString negativePrompts() const { return state_.negativePrompts; }
    QString preview() const { return state_.preview; }

    // Each write stamps the project's updatedAt; writing the text already there does nothing.
    void setPaletteName(const QString& text);
    void setMood(const QString& text);
    void setMedium(const QString& text);
    void setContinuityNotes(const QString& text);
    void setNegativePrompts(const QString& text);

protected:
    bool refresh() override;

private:
    void setField(std::string StyleGuidance::*field, const QString& text);

    struct State {
        QString paletteName;
        QString mood;
        QString medium;
        QString continuityNotes;
        QString negativePrompts;
        QString preview;
        bool operator==(const State&) const = default;
    };
    State state_;
};

} // namespace vl::screens
