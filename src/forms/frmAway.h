#pragma once

#include "forms/FormSupport.h"

#include <QDialog>
#include <QList>

#include <utility>

class RunningTiming;
class QLabel;
class QPushButton;

namespace forms {

// The question once the user is back from an absence while timing: keep the absence as work,
// discard it and go on timing, or stop the timing where the absence began. It waits beside the
// other windows, and the timing goes on meanwhile.
class frmAway : public QDialog
{
    Q_OBJECT

public:
    explicit frmAway(FormKey);

    QLabel* lblQuestion;
    QPushButton* cmdKeep;
    QPushButton* cmdDiscard;
    QPushButton* cmdStop;

    // Adds an absence to the question, with those not yet answered, and brings it to the front.
    void Ask(double from, double to);
    // The timing ended or started afresh: the question is moot, the absences count as work.
    void Withdraw();

    void cmdKeep_Click();
    void cmdDiscard_Click();
    void cmdStop_Click();

    // Closing it from the title bar or with Escape keeps the absences as work.
    void reject() override;

private:
    void StoreWorkedStretches(bool end);

    QList<std::pair<double, double>> absences_;
};

} // namespace forms

inline FormInstance<forms::frmAway> frmAway;

// The main window's timer commands call these: while a timing runs, absence is watched for and
// asked about, as the settings say.
// The watching checks at the running timing's tick.
void AwayTimingStarted(QObject* mainWindow, RunningTiming* timing);
void AwayTimingEnded();
