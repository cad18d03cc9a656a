#include "documentopener.h"

#include <QProcess>
#include <QUrl>

TDocumentOpener::TDocumentOpener(QString program, QObject *parent)
    : QObject(parent)
    , FProgram(std::move(program)) {
}

void TDocumentOpener::Open(const QString &path) {
    auto *opener = new QProcess(this);
    // The opener may hand the page to a browser that keeps running with these channels open.
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    // A child that could not be started never finishes; one that started always does.
    auto report = [this, opener, path](bool opened) {
        opener->deleteLater();
        emit Finished(path, opened);
    };
    connect(opener, &QProcess::finished, this, [report](int exitCode, QProcess::ExitStatus status) {
        report(status == QProcess::NormalExit && exitCode == 0);
    });
    connect(opener, &QProcess::errorOccurred, this, [report](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            report(false);
    });
    opener->start(FProgram, {QUrl::fromLocalFile(path).toString()});
}

#include "moc_documentopener.cpp"
