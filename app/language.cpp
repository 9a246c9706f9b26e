#include "app/language.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>

#include "app/settings.h"

namespace app {

namespace {

QTranslator* english = nullptr;
QString current = QString::fromLatin1(kRussian);

}  // namespace

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
  const QLocale::Language l = system.language();
  return l == QLocale::Russian || l == QLocale::C ? QString::fromLatin1(kRussian)
                                                  : QString::fromLatin1(kEnglish);
}

bool InstallLanguage(const QString& language) {
  if (language == QLatin1String(kEnglish)) {
    if (!english) {
      auto* t = new QTranslator(QCoreApplication::instance());
      if (!t->load(QStringLiteral(":/i18n/brelona_en.qm"))) {
        delete t;
        return false;
      }
      english = t;
    } else {
      QCoreApplication::removeTranslator(english);
    }
    QCoreApplication::installTranslator(english);
  } else if (english) {
    QCoreApplication::removeTranslator(english);
  }
  current = language == QLatin1String(kEnglish) ? language : QString::fromLatin1(kRussian);
  return true;
}

QString CurrentLanguage() {
  return current;
}

void WriteLanguageSetting(const std::string& path, const std::string& language) {
  TIniText ini = TIniText::Parse(ReadWholeFile(path).value_or(std::string()));
  ini.WriteString(kInterfaceSection, kLanguageKey, language);
  WriteWholeFile(path, ini.Compose());
}

}  // namespace app
