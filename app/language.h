#pragma once
// The language of the interface. The program's designed texts are written in Russian, its newer
// ones in English; an English translation of the former and a Russian one of the latter are
// built into the program. The choice is kept in the settings file, in the
// section INTERFACE as "Language=ru" or "Language=en"; without a choice the system locale
// decides: English for a locale of another language, Russian for a Russian locale and for the
// plain "C" locale.

#include <QLocale>
#include <QString>
#include <QStringList>
#include <string>

namespace app {

inline constexpr const char* kInterfaceSection = "INTERFACE";
inline constexpr const char* kLanguageKey = "Language";
inline constexpr const char* kRussian = "ru";
inline constexpr const char* kEnglish = "en";

// The chosen language of a settings text: "ru", "en", or empty when the text has none (any
// other value counts as none).
std::string LanguageFromText(const std::string& settingsText);

// The language to start in: the first choice found in the settings files `paths` (in this
// order), else the one `system` suggests.
QString StartUpLanguage(const QStringList& paths, const QLocale& system);

// Makes `language` ("ru" or "en") the language of texts created from now on. Returns false
// when its translation cannot be loaded: English then leaves the language as it was, Russian
// shows the texts written in English as they are.
bool InstallLanguage(const QString& language);

// The language installed last ("ru" before any call).
QString CurrentLanguage();

// Keeps the choice in the settings file `path`, leaving the rest of the file as it is.
// Throws std::runtime_error with a readable message when the file cannot be written.
void WriteLanguageSetting(const std::string& path, const std::string& language);

}  // namespace app
