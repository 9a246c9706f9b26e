// The interface language: the choice in the settings file, and every shown text of the main
// window, the diagram, the special points window and the chart editor in English.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractAxis>
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QComboBox>
#include <QDialog>
#include <QFile>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTimer>
#include <QXmlStreamReader>
#include <filesystem>

#include "app/language.h"
#include "app/main_window.h"
#include "app/settings.h"
#include "app/views_windows.h"
#include "problem/problem_table.h"
#include "views/chart_editor.h"
#include "views/chart_view.h"

namespace fs = std::filesystem;

namespace {

TEST(Language, TheChoiceInTheSettingsFileAndTheSystemLocale) {
  struct Case {
    const char* text;
    const char* language;
  };
  const Case cases[] = {
      {"[SETTINGS]\nTop=1\n", ""},
      {"[INTERFACE]\nLanguage=en\n", "en"},
      {"[interface]\n language = ru \n", "ru"},
      {"[INTERFACE]\nLanguage=fr\n", ""},
      {"[SETTINGS]\nLanguage=en\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(app::LanguageFromText(c.text), c.language) << c.text;

  const fs::path dir = fs::temp_directory_path() / ("brelona-lang-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path first = dir / "a.cfg", second = dir / "b.cfg";
  const QStringList paths{QString::fromStdString(first.string()),
                          QString::fromStdString(second.string())};
  EXPECT_EQ(app::StartUpLanguage(paths, QLocale(QLocale::German)), "en");
  EXPECT_EQ(app::StartUpLanguage(paths, QLocale(QLocale::Russian)), "ru");
  EXPECT_EQ(app::StartUpLanguage(paths, QLocale::c()), "ru");

  // The choice is added to a settings file without disturbing it, and survives the settings
  // written at shut-down; the first file that holds a choice wins.
  app::TSettings s;
  s.Width = 800;
  app::WriteSettingsFile(second.string(), s);
  app::WriteLanguageSetting(second.string(), "en");
  EXPECT_EQ(app::StartUpLanguage(paths, QLocale(QLocale::Russian)), "en");
  app::WriteSettingsFile(second.string(), s);
  const std::string text = app::ReadWholeFile(second.string()).value();
  EXPECT_EQ(app::LanguageFromText(text), "en");
  EXPECT_EQ(app::SettingsFromText(text)->Width, 800);
  app::WriteLanguageSetting(first.string(), "ru");
  EXPECT_EQ(app::StartUpLanguage(paths, QLocale(QLocale::German)), "ru");
  fs::remove_all(dir);
}

bool HasCyrillic(const QString& s) {
  for (const QChar c : s)
    if (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF) return true;
  return false;
}

// Every interface text of a window and its children: titles, captions, tool tips, menus and
// their commands, tabs, list items, table headers, and the chart's title, axes and captions.
// Edits are looked at too (the chart editor shows the chart's title and caption in them): the
// test's database holds no Russian text. Table cells hold data and are not looked at.
QStringList ShownTexts(QWidget* window) {
  QStringList out;
  QList<QWidget*> widgets = window->findChildren<QWidget*>();
  widgets.prepend(window);
  for (QWidget* w : widgets) {
    out << w->windowTitle() << w->toolTip();
    if (auto* b = qobject_cast<QAbstractButton*>(w)) out << b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) out << l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) out << g->title();
    if (auto* e = qobject_cast<QLineEdit*>(w)) out << e->text();
    if (auto* e = qobject_cast<QPlainTextEdit*>(w)) out << e->toPlainText();
    if (auto* m = qobject_cast<QMenu*>(w)) out << m->title();
    if (auto* t = qobject_cast<QTabWidget*>(w))
      for (int i = 0; i < t->count(); ++i) out << t->tabText(i);
    if (auto* c = qobject_cast<QComboBox*>(w))
      for (int i = 0; i < c->count(); ++i) out << c->itemText(i);
    if (auto* v = qobject_cast<QAbstractItemView*>(w); v && v->model()) {
      for (int i = 0; i < v->model()->columnCount(); ++i)
        out << v->model()->headerData(i, Qt::Horizontal).toString();
    }
    if (auto* cv = qobject_cast<QChartView*>(w)) {
      out << cv->chart()->title();
      for (QAbstractAxis* a : cv->chart()->axes()) out << a->titleText();
      for (QGraphicsItem* item : cv->scene()->items())
        if (auto* t = dynamic_cast<QGraphicsSimpleTextItem*>(item)) out << t->text();
    }
  }
  for (QAction* a : window->findChildren<QAction*>()) out << a->text() << a->toolTip();
  out.removeAll(QString());
  return out;
}

class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("brelona-language-" + std::to_string(::getpid()));
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "bin");
    oldCwd_ = fs::current_path();
    fs::current_path(dir_);
    store::TMemTable t;
    t.FieldDefs() = problem::ProblemFieldDefs();
    t.Open();
    t.Insert();
    t.FieldByName("ProblemName").SetAsString("lens");
    t.FieldByName("Functs").SetAsString(
        "GL = -T*Sid\nGS = (1-X)*(10*T-5000) + X*(10*T-6000) - T*Sid\n");
    t.FieldByName("Yparameter").SetAsString("Pressure, bar");
    t.FieldByName("Ymin").SetAsFloat(300);
    t.FieldByName("Ymax").SetAsFloat(700);
    t.FieldByName("Zparameter").SetAsString("T, K");
    t.FieldByName("Zvalue").SetAsFloat(1);
    t.FieldByName("XPoints").SetAsInteger(20);
    t.FieldByName("YPoints").SetAsInteger(4);
    t.FieldByName("ShowMosaicDiagram").SetAsBoolean(true);
    t.FieldByName("ShowChart").SetAsBoolean(true);
    t.Post();
    t.SaveToFile((dir_ / "Problems.d").string());
    app::TDialogs::SetTestHook([this](const app::DialogRequest& r) {
      asked_.push_back(r);
      return app::DialogAnswer{calc::DialogButton::OK, false, {}, 0};
    });
  }
  void TearDown() override {
    app::InstallLanguage("ru");
    app::TDialogs::SetTestHook(nullptr);
    fs::current_path(oldCwd_);
    fs::remove_all(dir_);
  }

  // The shown texts of the windows after a run, each list headed by the window's name.
  std::vector<std::pair<const char*, QStringList>> RunAndCollect() {
    app::TMainOptions o;
    o.settingsWriteFolder = QString::fromStdString((dir_ / "bin").string());
    o.userConfigFolder = QString::fromStdString((dir_ / "config").string());
    app::TfmMain w(o);
    w.StartUp();
    w.show();
    app::TViewsWindows windows(w, QString::fromStdString((dir_ / "Chart.cfg").string()));
    w.SetResultWindows(&windows);
    w.sbRunClick();
    w.sbSpecialPoints()->click();
    QApplication::processEvents();

    std::vector<std::pair<const char*, QStringList>> out;
    out.push_back({"main window", ShownTexts(&w)});
    out.push_back({"diagram", ShownTexts(&windows.fmDiagram2())});
    out.push_back({"special points", ShownTexts(&windows.fmSpecPoints())});
    out.push_back({"cell grid", ShownTexts(&windows.fmCells())});
    QStringList editor;
    QTimer::singleShot(50, [&editor] {
      if (auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
        editor = ShownTexts(d);
        d->reject();
      }
    });
    views::EditChart(windows.fmDiagram2().Chart1(), &windows.fmDiagram2());
    out.push_back({"chart editor", editor});

    // The caption of the new database question, a message the tests of the window pin.
    asked_.clear();
    w.ActCreate()->trigger();
    caption_ = asked_.empty() ? std::string() : asked_.front().caption;
    w.SetResultWindows(nullptr);
    return out;
  }

  fs::path dir_, oldCwd_;
  std::vector<app::DialogRequest> asked_;
  std::string caption_;
};

TEST_F(LanguageTest, EnglishLeavesNoRussianTextAndRussianStaysTheDefault) {
  // Russian as the tests run the program: every window shows its designed Russian texts.
  for (const auto& [name, texts] : RunAndCollect()) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), HasCyrillic))
        << texts.join('|').toStdString();
  }
  EXPECT_EQ(caption_, "Имя новой базы данных");

  ASSERT_TRUE(app::InstallLanguage("en"));
  for (auto [name, texts] : RunAndCollect()) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(texts.isEmpty());
    // The Language menu names each language in its own name (it listed "Russian").
    if (std::string(name) == "main window") {
      EXPECT_TRUE(texts.contains(QStringLiteral("Русский")));
      texts.removeAll(QStringLiteral("Русский"));
    }
    // The nodes are three-phase equilibria, not tie lines.
    if (std::string(name) == "special points") {
      EXPECT_TRUE(texts.contains(QStringLiteral(" Nodes (three-phase equilibria) ")));
    }
    for (const QString& t : texts) EXPECT_FALSE(HasCyrillic(t)) << t.toStdString();
  }
  EXPECT_EQ(caption_, "New database name");

  // Back in Russian, the chart file written in English shows the designed Russian caption, and
  // no window shows a text the program writes in English untranslated.
  ASSERT_TRUE(app::InstallLanguage("ru"));
  QFile ts(QStringLiteral(BRELONA_SOURCE_DIR "/translations/brelona_ru.ts"));
  ASSERT_TRUE(ts.open(QIODevice::ReadOnly));
  QSet<QString> english;
  QXmlStreamReader xml(&ts);
  while (!xml.atEnd()) {
    if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == QLatin1String("source"))
      english.insert(xml.readElementText());
  }
  ASSERT_GT(english.size(), 100);
  const auto windows = RunAndCollect();
  EXPECT_TRUE(windows[1].second.contains("Мольная доля (X) компонента B в системе A-B"));
  for (const auto& [name, texts] : windows) {
    SCOPED_TRACE(name);
    for (const QString& t : texts) EXPECT_FALSE(english.contains(t)) << t.toStdString();
  }
}

}  // namespace
