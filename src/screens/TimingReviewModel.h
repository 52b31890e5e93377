#pragma once

#include "screens/ScreenModel.h"

#include <QString>

namespace vl::screens {

// The timing review screen: the timed lines (rows from `ScreenServices.transcript`), the
// song's length and the two ways on.
class TimingReviewModel : public vl::screens::ScreenModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool hasTranscript READ hasTranscript NOTIFY changed)
    Q_PROPERTY(QString durationText READ durationText NOTIFY changed)
    Q_PROPERTY(bool canContinue READ canContinue NOTIFY changed)

public:
    static constexpr double kStep = 0.1;      // seconds per press of the stepper
    static constexpr double kLongestLine = 30; // a line ends at most this long after its start

    explicit TimingReviewModel(QObject* parent = nullptr);
    explicit TimingReviewModel(ScreenServices& services, QObject* parent = nullptr);

    // One step of the end time: kStep up or down, kept within [start, start +
    // kLongestLine] and rounded to the microsecond, so steps do not gather float noise.
    static double steppedEnd(double start, double end, int direction);

    bool hasTranscript() const { return state_.hasTranscript; }
    QString durationText() const { return state_.durationText; }
    bool canContinue() const { return !busy(); }

    // The stepper of the line with this id; direction +1 or -1.
    Q_INVOKABLE void stepEnd(const QString& segmentID, int direction);
    // Whether the stepper can go that way from this end.
    Q_INVOKABLE static bool canStep(double start, double end, int direction);
    Q_INVOKABLE void continueToCharacters();
    Q_INVOKABLE void backToIntake();

protected:
    bool refresh() override;

private:
    struct State {
        bool hasTranscript = false;
        QString durationText;
        bool operator==(const State&) const = default;
    };
    State state_;
};

} // namespace vl::screens
