#include "app/language.h"

#include <QCoreApplication>
#include <QFile>
#include <QTranslator>

#include "app/settings.h"

namespace app {

namespace {

// The translator of each language, made when first chosen: English for every text, Russian for
// the texts that are written in English.
QTranslator* english = nullptr;
QTranslator* russian = nullptr;
QString current = QString::fromLatin1(kRussian);

bool Load(QTranslator*& translator, const char* file) {
  if (translator) return true;
  auto* t = new QTranslator(QCoreApplication::instance());
  if (!t->load(QStringLiteral(":/i18n/") + QLatin1String(file))) {
    delete t;
    return false;
  }
  translator = t;
  return true;
}

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
  const bool inEnglish = language == QLatin1String(kEnglish);
  QTranslator*& wanted = inEnglish ? english : russian;
  const bool loaded = Load(wanted, inEnglish ? "brelona_en.qm" : "brelona_ru.qm");
  if (inEnglish && !loaded) return false;
  for (QTranslator* t : {english, russian}) {
    if (t) QCoreApplication::removeTranslator(t);
  }
  if (loaded) QCoreApplication::installTranslator(wanted);
  current = inEnglish ? language : QString::fromLatin1(kRussian);
  return loaded;
}

QString CurrentLanguage() {
  return current;
}

void WriteLanguageSetting(const std::string& path, const std::string& language) {
  TIniText ini = TIniText::Parse(TextToRewrite(path));
  ini.WriteString(kInterfaceSection, kLanguageKey, language);
  WriteWholeFile(path, ini.Compose());
}

}  // namespace app
