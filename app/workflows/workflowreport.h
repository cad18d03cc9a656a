// What the create and upload workflows tell their user: the window, or a console tool.
#pragma once

#include <QString>
#include <QStringList>

class TWorkflowReport {
public:
    virtual ~TWorkflowReport() = default;
    // The message box Info.
    virtual void ClearInfo() = 0;
    virtual void AddInfo(const QString &line) = 0;
    // What a system program (the TFTP client) printed, as it came: the window shows it among
    // its lines; a console leaves it out, so that the terminal shows the plain reason.
    virtual void AddClientLines(const QStringList &lines) {
        AddInfo(lines.join(QLatin1Char('\n')));
    }
    // An error message box with one OK button.
    virtual void ErrorBox(const QString &text) = 0;
    // The busy pointer while the packer runs.
    virtual void SetBusy(bool busy) = 0;
};
