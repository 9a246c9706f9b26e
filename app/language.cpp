#include "app/language.h"

#include <QFile>

#include "app/settings.h"
#include "views/translation.h"

namespace app {

std::string LanguageFromText(const std::string& settingsText) {
  const TIniText ini = TIniText::Parse(settingsText);
  const std::string value = ini.ReadString(kInterfaceSection, kLanguageKey).value_or("");
  return value == kRussian || value == kEnglish ? value : std::string();
}

QString StartUpLanguage(const QStringList& paths, const QLocale& system) {
  for (const QString& path : paths) {
    if (const auto text = ReadWholeFile(QFile::encodeName(path).toStdString())) {
      const std::string chosen = LanguageFromText(*text);
      if (!chosen.empty()) return QString::fromStdString(chosen);
    }
  }
  return views::LanguageOfLocale(system);
}

bool InstallLanguage(const QString& language) {
  return views::InstallLanguage(language);
}

QString CurrentLanguage() {
  return views::CurrentLanguage();
}

void WriteLanguageSetting(const std::string& path, const std::string& language) {
  TIniText ini = TIniText::Parse(TextToRewrite(path));
  ini.WriteString(kInterfaceSection, kLanguageKey, language);
  WriteWholeFile(path, ini.Compose());
}

}  // namespace app
