#pragma once
// The translations of the interface texts, built into every program that shows them (the
// desktop program's windows and the command line's pictures): English for every text, Russian
// for the texts written in English. Russian is the designed language.

#include <QLocale>
#include <QString>

namespace views {

// The language a system locale asks for: "ru" for a Russian locale and for the plain "C"
// locale, "en" for any other.
QString LanguageOfLocale(const QLocale& locale);

// Makes `language` ("ru" or "en") the language of texts created from now on. Returns false
// when its translation cannot be loaded: English then leaves the language as it was, Russian
// shows the texts written in English as they are. Needs the application object.
bool InstallLanguage(const QString& language);

// The language installed last ("ru" before any call).
QString CurrentLanguage();

// For a program without a settings file of its own (brelona-calc): the language of the
// system locale (LC_ALL, LC_MESSAGES, LANG), so its pictures speak the language its user's
// desktop program starts in.
void FollowSystemLanguage();

}  // namespace views
