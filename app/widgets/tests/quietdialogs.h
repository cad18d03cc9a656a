// The windows' dialogs for tests that must never block on one: choices come back empty (or the
// answer set beforehand) and every message box is only recorded.
#pragma once

#include "app/widgets/dialogs.h"

#include <QStringList>

class TQuietDialogs : public TDialogs {
public:
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
    QString SaveFile(QWidget *, const QString &, const QString &) override { return SaveAnswer; }
    void Message(QWidget *, TMessageKind, const QString &, const QString &text) override {
        Messages << text;
    }
    QString SaveAnswer;
    QStringList Messages;
};
