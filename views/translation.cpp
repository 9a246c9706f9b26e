#include "views/translation.h"

#include <QCoreApplication>
#include <QTranslator>

namespace views {

namespace {

// The translator of each language, made when first chosen.
QTranslator* english = nullptr;
QTranslator* russian = nullptr;
QString current = QStringLiteral("ru");

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

QString LanguageOfLocale(const QLocale& locale) {
  const QLocale::Language l = locale.language();
  return l == QLocale::Russian || l == QLocale::C ? QStringLiteral("ru") : QStringLiteral("en");
}

bool InstallLanguage(const QString& language) {
  const bool inEnglish = language == QLatin1String("en");
  QTranslator*& wanted = inEnglish ? english : russian;
  const bool loaded = Load(wanted, inEnglish ? "brelona_en.qm" : "brelona_ru.qm");
  if (inEnglish && !loaded) return false;
  for (QTranslator* t : {english, russian}) {
    if (t) QCoreApplication::removeTranslator(t);
  }
  if (loaded) QCoreApplication::installTranslator(wanted);
  current = inEnglish ? language : QStringLiteral("ru");
  return loaded;
}

QString CurrentLanguage() {
  return current;
}

void FollowSystemLanguage() {
  InstallLanguage(LanguageOfLocale(QLocale::system()));
}

}  // namespace views
