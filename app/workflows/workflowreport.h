// What the create and upload workflows tell their user: the window, or a console tool.
#pragma once

#include <QString>

class TWorkflowReport {
public:
    virtual ~TWorkflowReport() = default;
    // The message box Info.
    virtual void ClearInfo() = 0;
    virtual void AddInfo(const QString &line) = 0;
    // An error message box with one OK button.
    virtual void ErrorBox(const QString &text) = 0;
    // The busy pointer while the packer runs.
    virtual void SetBusy(bool busy) = 0;
};
