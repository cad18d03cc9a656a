// Runs the real quillet-cli program and collects what it prints.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

inline QString cliProgram() {
    return QStringLiteral(QUILLET_PROGRAM_DIR "quillet-cli");
}

// `locale` names the LC_ALL the program runs under (empty: the test's own); `program` may be a
// copy elsewhere, which keeps its own journal beside it.
inline CliRun runCli(const QStringList &args, int timeoutMs = 60000, const QString &locale = {},
                     const QString &program = cliProgram()) {
    QProcess process;
    if (!locale.isEmpty()) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("LC_ALL"), locale);
        process.setProcessEnvironment(environment);
    }
    process.start(program, args);
    CliRun run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        run.err = "quillet-cli did not end in time";
        return run;
    }
    run.status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput().toStdString();
    run.err = process.readAllStandardError().toStdString();
    return run;
}
