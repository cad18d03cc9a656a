#include "app/workflows/curltransfer.h"

#include "support/commandline.h"
#include "support/doscommand.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

TCurlTransfer::TCurlTransfer(QObject *parent)
    : QObject(parent)
    , FRunner(std::make_unique<TDosCommand>()) {
    connect(FRunner.get(), &TDosCommand::Terminated, this, &TCurlTransfer::ClientEnded);
    connect(FRunner.get(), &TDosCommand::StartFailed, this, &TCurlTransfer::NotStarted);
    connect(FRunner.get(), &TDosCommand::NewLine, this, &TCurlTransfer::ClientLine);
}

TCurlTransfer::~TCurlTransfer() = default;

QString TCurlTransfer::CommandLine(const QString &client, const QString &address,
                                   const QString &file, const QString &remoteName) {
    // No option negotiation, as the devices' own client sends; a silent device ends the
    // transfer after 10 s instead of the client's default of minutes. Without --globoff the
    // client reads "[", "]", "{" and "}" of a file name as a pattern and refuses the path.
    // The progress meter (-#) writes unfinished lines with the share sent; -S keeps the
    // client's error line.
    return client + QStringLiteral(" -#S --globoff --tftp-no-options --connect-timeout 10 -T ") +
           QuoteArgument(file) + QStringLiteral(" tftp://") + address + QLatin1Char('/') +
           remoteName;
}

int TCurlTransfer::MeterPercent(const QString &line) {
    const int tenths = MeterTenths(line);
    return tenths < 0 ? -1 : tenths / 10;
}

int TCurlTransfer::MeterTenths(const QString &line) {
    // "######                 8.6%", or the bouncing marks before the size is known.
    static const QRegularExpression meter(
        QStringLiteral("^\\s*([#=O\\-]+\\s*)?(?:(\\d{1,3}(?:[.,]\\d)?)%)?\\s*$"));
    const QRegularExpressionMatch match = meter.match(line);
    if (!match.hasMatch() || line.trimmed().isEmpty())
        return -1;
    if (match.capturedLength(2) == 0)
        return match.capturedLength(1) > 0 ? 0 : -1;
    QString number = match.captured(2);
    number.replace(QLatin1Char(','), QLatin1Char('.'));
    return std::clamp(static_cast<int>(std::lround(number.toDouble() * 10)), 0, 1000);
}

void TCurlTransfer::Start(const QString &commandLine) {
    FRunner->SetCommandLine(commandLine);
    FTenths = 0;
    emit Progress(0);
    FRunner->Start();
}

int TCurlTransfer::ExitCode() const {
    return FRunner->ExitCode();
}

QStringList TCurlTransfer::Lines() const {
    QStringList lines;
    // The meter's first carriage return ends an empty line of its own.
    for (const QString &line : FRunner->CapturedLines()) {
        if (!line.isEmpty() && MeterPercent(line) < 0)
            lines.append(line);
    }
    return lines;
}

bool TCurlTransfer::Running() const {
    return FRunner->Running();
}

void TCurlTransfer::Abort() {
    FRunner->Abort();
}

void TCurlTransfer::Stop() {
    // Killed here and now, without its lines.
    disconnect(FRunner.get(), nullptr, this, nullptr);
    if (FRunner->Running())
        FRunner->Abort();
}

void TCurlTransfer::ClientLine(const QString &line) {
    const int tenths = MeterTenths(line);
    if (FEnded || tenths <= FTenths)
        return;
    const int before = Percent();
    FTenths = tenths;
    emit Advanced();
    if (Percent() > before)
        emit Progress(Percent());
}

void TCurlTransfer::ClientEnded() {
    if (FEnded)
        return;
    FEnded = true;
    emit Ended();
}

#include "moc_curltransfer.cpp"
