#include "app/widgets/windowreport.h"

#include "app/widgets/dialogs.h"
#include "app/widgets/quillet.h"
#include "support/brimolog.h"

#include <QApplication>

TWindowReport::TWindowReport(TfQuillet &window)
    : FWindow(window) {
}

TWindowReport::~TWindowReport() {
    SetBusy(false);
}

void TWindowReport::ClearInfo() {
    FWindow.ClearInfo();
}

void TWindowReport::AddInfo(const QString &line) {
    FWindow.AddInfo(line);
}

void TWindowReport::ErrorBox(const QString &text) {
    FWindow.Dialogs().Message(&FWindow, TDialogs::mkError, FWindow.Startup().AppName(), text);
}

void TWindowReport::SetBusy(bool busy) {
    if (busy == FBusy)
        return;
    FBusy = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}
