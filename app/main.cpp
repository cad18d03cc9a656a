#include "app/core/inifile.h"
#include "app/core/language.h"
#include "app/core/singleinstance.h"
#include "app/widgets/dialogs.h"
#include "app/widgets/quillet.h"
#include "support/filelimit.h"
#include "support/programfolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>

#include <cstdio>
#include <optional>

namespace {
// The texts of the no-window answers, in the language in force (none before the translation is
// installed, so English).
QString HelpText(const char *source) {
    return QCoreApplication::translate("QuilletHelp", source);
}

// --help and --version are answered here, before the window toolkit starts, so they need no
// display. Every other argument is left to the start sequence, which reads "-brimo" (first
// argument, any case) and ignores the rest; so words the parser does not know are no error.
// The help is written in the window's language, for which a Qt core application suffices.
std::optional<int> AnswerWithoutWindow(const QStringList &arguments, bool translated = false) {
    QCommandLineParser parser;
    // "-brimo" is one word, not the letters b, r, i, m and o.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(HelpText(QT_TRANSLATE_NOOP(
        "QuilletHelp", "Packs a folder of web pages into one web file and uploads web "
                       "files and firmware to devices.\n\n"
                       "-brimo as the first argument, in any case, starts the "
                       "internal mode:\nfirmware upload and the full help page.")));
    const QCommandLineOption help(
        {QStringLiteral("h"), QStringLiteral("help")},
        HelpText(QT_TRANSLATE_NOOP("QuilletHelp", "Displays this help.")));
    const QCommandLineOption version(
        {QStringLiteral("v"), QStringLiteral("version")},
        HelpText(QT_TRANSLATE_NOOP("QuilletHelp", "Displays version information.")));
    const QCommandLineOption language(
        QStringLiteral("language"),
        HelpText(QT_TRANSLATE_NOOP("QuilletHelp", "The language of the window: cs or en (default: "
                                                  "the system's, or Language= in qlt.ini).")),
        QStringLiteral("cs|en"));
    parser.addOptions({help, version, language});
    parser.parse(arguments);
    if (parser.isSet(help) && !translated) {
        // Named as typed, as the parser names it without an application object.
        QByteArray name = QFileInfo(arguments.first()).fileName().toLocal8Bit();
        char *named[] = {name.data(), nullptr};
        int count = 1;
        QCoreApplication core(count, named);
        const QStringList given = arguments.mid(1);
        TIniFile settings;
        settings.Load(TStartup(TStartupInputs::FromSystem(ProgramFolder(), given)).IniPath());
        InstallUiTranslations(ChooseUiLanguage(
            given, settings.ReadString(QStringLiteral("Global"), QStringLiteral("Language"), {})));
        return AnswerWithoutWindow(arguments, true);
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                    qPrintable(TStartup::VersionText()));
        return 0;
    }
    return std::nullopt;
}
} // namespace

int main(int argc, char *argv[]) {
    RaiseOpenFileLimit();
    // The arguments as given, before the toolkit takes out the options it knows.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QCoreApplication::setApplicationName(QStringLiteral("Quillet"));
    if (const std::optional<int> status = AnswerWithoutWindow(arguments))
        return *status;

    QApplication app(argc, argv);
    TSystemDialogs dialogs;
    arguments.removeFirst();
    const TStartupInputs inputs = TStartupInputs::FromSystem(ProgramFolder(), arguments);
    // A second window on the same settings would upload beside the first and overwrite its
    // settings at exit: the first one comes forward instead and says so.
    const TStartup startup(inputs);
    TIniFile settings;
    settings.Load(startup.IniPath());
    const TUiLanguage language = ChooseUiLanguage(
        arguments, settings.ReadString(QStringLiteral("Global"), QStringLiteral("Language"), {}));
    InstallUiTranslations(language);
    TSingleInstance instance(startup.IniPath());
    if (!instance.Acquire()) {
        const bool heard = instance.AskRunningToShow();
        const QString name = QCoreApplication::applicationName();
        const QString said =
            heard ? HelpText(QT_TRANSLATE_NOOP(
                        "QuilletHelp", "%1 is already running; its window has been brought to "
                                       "the front."))
                  : HelpText(QT_TRANSLATE_NOOP("QuilletHelp", "%1 is already running."));
        std::fprintf(stderr, "%s\n", said.arg(name).toLocal8Bit().constData());
        return 0;
    }
    TfQuillet fQuillet(inputs, dialogs);
    fQuillet.SetUiLanguage(language);
    // Many devices' restart waits share one ICMP socket (tests keep their stand-in echoes).
    TUploadSettings uploads = fQuillet.UploadSettings();
    uploads.ShareEcho = true;
    fQuillet.SetUploadSettings(uploads);
    QObject::connect(&instance, &TSingleInstance::ShowRequested, &fQuillet,
                     &TfQuillet::ShowAsAlreadyRunning);
    fQuillet.show();
    return QApplication::exec();
}
