#include "app/core/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <optional>

namespace {

std::optional<TUiLanguage> LanguageWord(const QString &word) {
    const QString code = word.trimmed().toLower();
    if (code == QStringLiteral("cs") || code.startsWith(QStringLiteral("cs_")) ||
        code.startsWith(QStringLiteral("cs.")))
        return TUiLanguage::Czech;
    if (code == QStringLiteral("en") || code.startsWith(QStringLiteral("en_")) ||
        code == QStringLiteral("c") || code.startsWith(QStringLiteral("c.")) ||
        code == QStringLiteral("posix"))
        return TUiLanguage::English;
    return std::nullopt;
}

} // namespace

TUiLanguage ChooseUiLanguage(const QStringList &arguments, const QString &setting,
                             const std::function<QString(const char *name)> &environment) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString value;
        if (arguments[i] == QStringLiteral("--language"))
            value = arguments.value(i + 1);
        else if (arguments[i].startsWith(QStringLiteral("--language=")))
            value = arguments[i].mid(11);
        if (const auto language = LanguageWord(value); language && !value.isEmpty())
            return *language;
    }
    if (const auto language = LanguageWord(setting); language && !setting.trimmed().isEmpty())
        return *language;
    // The first of these that is set decides, as for the C library's messages.
    for (const char *name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = environment(name);
        if (!value.isEmpty())
            return LanguageWord(value).value_or(TUiLanguage::English);
    }
    return TUiLanguage::English;
}

TUiLanguage ChooseUiLanguage(const QStringList &arguments, const QString &setting) {
    return ChooseUiLanguage(arguments, setting,
                            [](const char *name) { return qEnvironmentVariable(name); });
}

bool InstallUiTranslations(TUiLanguage language) {
    if (language == TUiLanguage::English)
        return true;
    auto *own = new QTranslator(QCoreApplication::instance());
    const bool ownLoaded = own->load(QStringLiteral(":/i18n/quillet_cs.qm"));
    if (ownLoaded)
        QCoreApplication::installTranslator(own);
    auto *qt = new QTranslator(QCoreApplication::instance());
    const bool qtLoaded =
        qt->load(QStringLiteral("qtbase_cs"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (qtLoaded)
        QCoreApplication::installTranslator(qt);
    return ownLoaded && qtLoaded;
}
