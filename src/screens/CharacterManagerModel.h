#pragma once

#include "screens/ScreenModel.h"

#include <QString>

namespace vl::screens {

// The character manager: the concept line, the new-character row, and the step to the
// storyboard. The cards' rows (status, thumbnail, the active chip) come from
// `ScreenServices.characters`.
class CharacterManagerModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString conceptPrompt READ conceptPrompt WRITE setConceptPrompt NOTIFY changed)
    Q_PROPERTY(QString newName READ newName WRITE setNewName NOTIFY changed)
    Q_PROPERTY(bool canAdd READ canAdd NOTIFY changed)
    Q_PROPERTY(bool hasCharacters READ hasCharacters NOTIFY changed)
    Q_PROPERTY(bool showsStoryboardButton READ showsStoryboardButton NOTIFY changed)
    Q_PROPERTY(QString storyboardButtonText READ storyboardButtonText NOTIFY changed)
    Q_PROPERTY(QString storyboardButtonSymbol READ storyboardButtonSymbol NOTIFY changed)
    Q_PROPERTY(bool canGoToStoryboard READ canGoToStoryboard NOTIFY changed)

public:
    explicit CharacterManagerModel(QObject* parent = nullptr);
    explicit CharacterManagerModel(ScreenServices& services, QObject* parent = nullptr);

    QString conceptPrompt() const { return state_.conceptPrompt; }
    void setConceptPrompt(const QString& text);
    QString newName() const { return newName_; }
    void setNewName(const QString& name);
    bool canAdd() const;
    bool hasCharacters() const { return state_.hasCharacters; }
    bool showsStoryboardButton() const { return state_.primaryUsable; }
    QString storyboardButtonText() const;
    QString storyboardButtonSymbol() const;
    bool canGoToStoryboard() const { return !busy() && state_.hasTranscript; }

    // "Add": the name trimmed of spaces and tabs; the field empties afterwards.
    Q_INVOKABLE void add();
    Q_INVOKABLE void setPrimary(const QString& characterID);
    Q_INVOKABLE void remove(const QString& characterID);
    // "Add reference…" / "Replace reference…": one picture, appended to the character's
    // references, then the character is processed.
    Q_INVOKABLE void chooseReference(const QString& characterID);
    // With a storyboard: only moves on. Without: plans, renders the elements, moves on,
    // stopping at the first error.
    Q_INVOKABLE void goToStoryboard();

protected:
    bool refresh() override;

private:
    struct State {
        QString conceptPrompt;
        bool hasCharacters = false;
        bool primaryUsable = false; // a primary character with a picture of some kind
        bool hasChunks = false;
        bool hasTranscript = false;
        bool operator==(const State&) const = default;
    };
    State state_;
    QString newName_;
};

} // namespace vl::screens
