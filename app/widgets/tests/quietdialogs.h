// The windows' dialogs for tests that must never block on one: choices come back empty (or the
// answer set beforehand), questions take the answers given, and every box is only recorded.
#pragma once

#include "app/widgets/dialogs.h"

#include <QList>
#include <QStringList>

class TQuietDialogs : public TDialogs {
public:
    QString ChooseFolder(QWidget *, const QString &) override { return {}; }
    QString OpenFile(QWidget *, const QString &, const QString &) override { return {}; }
    QString SaveFile(QWidget *, const QString &, const QString &) override { return SaveAnswer; }
    void Message(QWidget *, TMessageKind, const QString &, const QString &text) override {
        Messages << text;
    }
    // Each question takes the next answer; No when none is left.
    bool Confirm(QWidget *, const QString &, const QString &text) override {
        Questions << text;
        return !Answers.isEmpty() && Answers.takeFirst();
    }
    QString SaveAnswer;
    QStringList Messages;
    QStringList Questions;
    QList<bool> Answers;
};
