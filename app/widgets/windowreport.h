// The main window as the report of its create and upload workflows.
#pragma once

#include "app/workflows/workflowreport.h"

#include <QObject>

class TfQuillet;

// Info lines go to the window's message box, error boxes through its dialog seam, the busy
// state to the application's pointer.
class TWindowReport : public QObject, public TWorkflowReport {
public:
    explicit TWindowReport(TfQuillet &window);
    ~TWindowReport() override;

    void ClearInfo() override;
    void AddInfo(const QString &line) override;
    void ErrorBox(const QString &text) override;
    void SetBusy(bool busy) override;

private:
    TfQuillet &FWindow;
    bool FBusy = false;
};
