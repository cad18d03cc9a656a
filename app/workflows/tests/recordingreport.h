// A workflow report that keeps everything it is told, for tests to compare.
#pragma once

#include "app/workflows/workflowreport.h"

#include <QSignalSpy>
#include <QStringList>

class TRecordingReport : public TWorkflowReport {
public:
    void ClearInfo() override { Info.clear(); }
    void AddInfo(const QString &line) override { Info.append(line); }
    void ErrorBox(const QString &text) override { ErrorBoxes.append(text); }
    void SetBusy(bool busy) override { BusyChanges.append(busy); }

    // Info as the message box shows it: a block of several lines makes several lines.
    QStringList Lines() const { return Info.join(QLatin1Char('\n')).split(QLatin1Char('\n')); }

    QStringList Info;
    QStringList ErrorBoxes;
    QList<bool> BusyChanges;
};

// Waits for the spied signal unless it came already.
inline bool WaitForSignal(QSignalSpy &spy, int milliseconds) {
    return !spy.isEmpty() || spy.wait(milliseconds);
}
