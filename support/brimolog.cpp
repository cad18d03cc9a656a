#include "support/brimolog.h"

#include "support/programfolder.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>

const TWriteOptionsInitRec WriteOptionsInit[8] = {
    {"woUser", woUser},       {"woCommon", woCommon},   {"woMouse", woMouse},
    {"woData", woData},       {"woComm", woComm},       {"woCustom1", woCustom1},
    {"woCustom2", woCustom2}, {"woCustom3", woCustom3},
};

const QString TBrimoLog::EndMarker =
    QStringLiteral("- - - - ------<[ O B J E C T   E N D ]>------ - - - -");

TBrimoLog::TBrimoLog(const QString &fileName)
    : TBrimoLog(fileName, ProgramFolder() + QStringLiteral("cil.cnf")) {
}

TBrimoLog::TBrimoLog(const QString &fileName, const QString &configFileName)
    : FFileName(fileName)
    , FConfigFileName(configFileName) {
    FEnabled = QFileInfo::exists(FConfigFileName);
    if (FEnabled)
        ReadConfig();
}

TBrimoLog::~TBrimoLog() {
    if (FEnabled)
        WriteLine(EndMarker);
}

namespace {

// Removes blanks and control characters (everything up to the space) at both ends.
QByteArray TrimControls(const QByteArray &line) {
    qsizetype begin = 0;
    qsizetype end = line.size();
    while (begin < end && static_cast<unsigned char>(line[begin]) <= ' ')
        ++begin;
    while (end > begin && static_cast<unsigned char>(line[end - 1]) <= ' ')
        --end;
    return line.mid(begin, end - begin);
}

} // namespace

void TBrimoLog::ReadConfig() {
    QFile file(FConfigFileName);
    // An unreadable file counts as an empty one: every option is on.
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray content = file.readAll();
        for (QByteArray line : content.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            if (line.isEmpty() || line.startsWith(';'))
                continue;
            const QByteArray word = TrimControls(line);
            for (const TWriteOptionsInitRec &rec : WriteOptionsInit) {
                if (word == rec.Name) {
                    FOptions += rec.Option;
                    break;
                }
            }
        }
    }
    if (FOptions.IsEmpty())
        FOptions = TWriteOptions::All();
}

void TBrimoLog::WriteLine(const QString &message) {
    if (!FEnabled)
        return;
    QFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yy-MM-dd hh:mm:ss zzz"));
    QByteArray line = stamp.toLocal8Bit();
    line += ' ';
    line += message.toLocal8Bit();
    line += "\r\n";
    // A failed write loses this message only; the log never reports.
    file.write(line);
    file.close();
}

void TBrimoLog::WriteLineIf(TWriteOptions options, const QString &message) {
    if (options.Intersects(FOptions))
        WriteLine(message);
}
