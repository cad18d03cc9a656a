// The language of the user interface: Czech for the maker's home market, English otherwise.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

enum class TUiLanguage { English, Czech };

// "--language cs|en" among the arguments beats the settings file's [Global] Language=cs|en,
// which beats the system locale (LC_ALL, then LC_MESSAGES, then LANG, as the C library reads
// them). Anything else counts as not given; a locale other than Czech is English.
TUiLanguage ChooseUiLanguage(const QStringList &arguments, const QString &setting,
                             const std::function<QString(const char *name)> &environment);
// The same from the process environment.
TUiLanguage ChooseUiLanguage(const QStringList &arguments, const QString &setting);

// Loads Quillet's translation compiled into the program and Qt's own (standard buttons, file
// dialogs) into the application; English needs none. False when a translation is missing.
bool InstallUiTranslations(TUiLanguage language);
