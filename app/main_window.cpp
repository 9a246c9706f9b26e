#include "app/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "app/about_box.h"
#include "app/binding.h"
#include "app/import_tdb_dialog.h"
#include "app/language.h"
#include "app/result_windows.h"
#include "app/settings.h"
#include "app/stripe_grid.h"
#include "app/working_chart.h"
#include "numeric/format.h"
#include "problem/problem_reader.h"
#include "views/diagram_export.h"

namespace app {

namespace {

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

std::string Trimmed(const std::string& s) {
  const auto b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  const auto e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

QFont PixelFont(const QString& family, int pixels, bool bold = false) {
  QFont f(family);
  f.setPixelSize(pixels);
  f.setBold(bold);
  return f;
}

// A fixed-pitch font with Cyrillic letters for the phase sheet: Courier New where it is
// installed (or aliased), else the system's fixed font.
QFont MemoFont() {
  QFont f("Courier New");
  f.setStyleHint(QFont::TypeWriter);
  f.setFixedPitch(true);
  const QFontInfo info(f);
  if (!info.fixedPitch() ||
      !QFontDatabase::writingSystems(info.family()).contains(QFontDatabase::Cyrillic)) {
    f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  }
  f.setPixelSize(13);
  return f;
}

// Tells the main window about every change of the table's state or current record, so the
// navigator's buttons follow.
class StateLink : public store::TDataLink {
 public:
  explicit StateLink(std::function<void()> changed) : changed_(std::move(changed)) {}
  void ActiveChanged(store::TMemTable&) override { changed_(); }
  void StateChanged(store::TMemTable&) override { changed_(); }
  void DataSetChanged(store::TMemTable&) override { changed_(); }

 private:
  std::function<void()> changed_;
};

}  // namespace

TfmMain::TfmMain(TMainOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      dialogs_(this),
      mosaicColor_(kMoneyGreen),
      mailbox_([this] {
        // On the sweep's thread: the levels are shown on this window's thread, in its turn.
        QMetaObject::invokeMethod(this, "ShowPostedLevels", Qt::QueuedConnection);
      }) {
  BuildUi();
  engine_ = std::make_unique<calc::Engine>(engineMessages_, *this, results_, chart_);
  liveTimer_.setSingleShot(true);
  liveTimer_.setInterval(kLiveDebounce);
  connect(&liveTimer_, &QTimer::timeout, this, [this] { LiveRecompute(); });
  BindTable();
  // The window sees every key first: F9 runs the calculation from any control.
  qApp->installEventFilter(this);
}

TfmMain::~TfmMain() {
  if (sweepThread_.joinable()) {
    engine_->RequestStop();
    sweepThread_.join();
  }
  qApp->removeEventFilter(this);
  delete binding_;
  binding_ = nullptr;
  vtblProblem_.RemoveDataLink(stateLink_.get());
}

// ------------------------------------------------------------------ layout

void TfmMain::BuildUi() {
  SetUpWindow();
  BuildMenus();
  BuildResultsMenu();
  BuildLanguageMenu();
  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(2, 2, 2, 0);
  outer->setSpacing(2);
  setCentralWidget(central);
  // Left pane: the problem list and its navigator; right pane: the working chart over the
  // phase sheet.
  splitter_ = new QSplitter(Qt::Horizontal, central);
  QWidget* problems = BuildProblemList(splitter_);
  QWidget* sheet = BuildChartAndSheet(splitter_);
  splitter_->addWidget(problems);
  splitter_->addWidget(sheet);
  splitter_->setSizes({167, 505});
  splitter_->setStretchFactor(0, 0);
  splitter_->setStretchFactor(1, 1);
  outer->addWidget(splitter_, 1);
  outer->addWidget(BuildBottomPanel(central));
  BuildStatusBar();
  ConnectCommands();
}

void TfmMain::SetUpWindow() {
  setWindowTitle("Brelona");
  setGeometry(3, 33, 678, 678);
  // The window's controls use a small sans serif font, as designed (11 px).
  QFont windowFont("MS Sans Serif");
  windowFont.setStyleHint(QFont::SansSerif);
  windowFont.setFamilies({"MS Sans Serif", "Arial", "Liberation Sans", "DejaVu Sans"});
  windowFont.setPixelSize(11);
  setFont(windowFont);
}

void TfmMain::BuildMenus() {
  // The captions as designed, with a mnemonic each (Alt and the underlined letter).
  menuFile_ = menuBar()->addMenu(tr("&Файл"));
  actOpen_ = menuFile_->addAction(tr("&Открыть"));
  actCreate_ = menuFile_->addAction(tr("&Создать"));
  actImportTdb_ = menuFile_->addAction(tr("&Import TDB…"));
  actExportDiagram_ = menuFile_->addAction(tr("&Export diagram…"));
  connect(actExportDiagram_, &QAction::triggered, this, [this] {
    if (windows_) windows_->ExportDiagram();
  });
  menuFile_->addSeparator();
  actClose_ = menuFile_->addAction(tr("&Закрыть"));
  actColor_ = menuBar()->addAction(tr("&Цвет мозаичной диаграммы"));
  actAbout_ = menuBar()->addAction(tr("&О программе..."));
  connect(actOpen_, &QAction::triggered, this, [this] { N1Click(); });
  connect(actCreate_, &QAction::triggered, this, [this] { N5Click(); });
  connect(actClose_, &QAction::triggered, this, [this] { N3Click(); });
  connect(actColor_, &QAction::triggered, this, [this] { MosaicColorClick(); });
  connect(actAbout_, &QAction::triggered, this, [this] { AboutClick(); });
  LockDuringSweep(actOpen_);
  LockDuringSweep(actCreate_);
  // An assessed system from a TDB file becomes a new problem of the open database.
  connect(actImportTdb_, &QAction::triggered, this, [this] {
    TdbImportDialog dialog(this);
    if (dialog.exec() != QDialog::Accepted || !dialog.Problem()) return;
    const std::string asked = dialog.Problem()->ProblemName;
    const std::string given = AddImportedProblem(vtblProblem_, *dialog.Problem());
    if (given != asked) {
      dialogs_.MessageDlg(tr("The problem is named \"%1\": a problem name holds %2 characters, "
                             "and each name is given once.")
                              .arg(QString::fromStdString(given))
                              .arg(vtblProblem_.FieldByName("ProblemName").Size())
                              .toStdString(),
                          calc::DialogType::Information, {calc::DialogButton::OK});
    }
  });
  LockDuringSweep(actImportTdb_);
}

void TfmMain::BuildLanguageMenu() {
  // The interface language; the choice is kept in the settings file and takes effect when the
  // program starts again.
  auto* menu = new QMenu(tr("&Language"), this);
  menuBar()->insertMenu(actAbout_, menu);
  auto* group = new QActionGroup(menu);
  // Each language by its own name, whichever is shown.
  const std::pair<const char*, QString> items[] = {{kRussian, QStringLiteral("Русский")},
                                                   {kEnglish, QStringLiteral("English")}};
  for (const auto& [code, caption] : items) {
    QAction* a = menu->addAction(caption);
    a->setObjectName(QStringLiteral("actLanguage_") + QLatin1String(code));
    a->setCheckable(true);
    a->setChecked(CurrentLanguage() == QLatin1String(code));
    group->addAction(a);
    connect(a, &QAction::triggered, this,
            [this, code = std::string(code)] { ChooseLanguage(code); });
  }
}

namespace {
constexpr const char* kExportSection = "EXPORT";
}  // namespace

void TfmMain::ReadExportChoices() {
  // The export dialog's last values, in their own section of the settings file, written each
  // time the dialog is accepted.
  const std::string path = QFile::encodeName(SettingsPath()).toStdString();
  const TIniText ini = TIniText::Parse(ReadWholeFile(path).value_or(""));
  if (ini.HasSection(kExportSection)) {
    views::SetRememberedExportChoices(views::ExportChoicesFromKeys(
        [&](const std::string& key) { return ini.ReadString(kExportSection, key).value_or(""); }));
  }
  views::SetExportChoicesSaver([this](const views::ExportChoices& choices) {
    try {
      const std::string file = QFile::encodeName(SettingsPath()).toStdString();
      QDir().mkpath(QFileInfo(SettingsPath()).absolutePath());
      TIniText text = TIniText::Parse(TextToRewrite(file));
      for (const auto& [key, value] : views::ExportChoicesToKeys(choices))
        text.WriteString(kExportSection, key, value);
      WriteWholeFile(file, text.Compose());
    } catch (const std::exception& e) {
      dialogs_.MessageDlg(tr("The export settings could not be saved: %1")
                              .arg(QString::fromUtf8(e.what()))
                              .toStdString(),
                          calc::DialogType::Warning, {calc::DialogButton::OK});
    }
  });
}

void TfmMain::ChooseLanguage(const std::string& language) {
  try {
    QDir().mkpath(QFileInfo(SettingsPath()).absolutePath());
    WriteLanguageSetting(QFile::encodeName(SettingsPath()).toStdString(), language);
  } catch (const std::exception& e) {
    dialogs_.MessageDlg(
        tr("The language could not be saved: %1").arg(QString::fromUtf8(e.what())).toStdString(),
        calc::DialogType::Warning, {calc::DialogButton::OK});
    return;
  }
  if (CurrentLanguage() != QString::fromStdString(language))
    dialogs_.MessageDlg(
        tr("The new language is used from the next start of the program.").toStdString(),
        calc::DialogType::Information, {calc::DialogButton::OK});
}

void TfmMain::BuildResultsMenu() {
  // The result windows that have no button of their own; the menu sits after "Файл".
  auto* results = new QMenu(tr("&Results"), this);
  menuBar()->insertMenu(actColor_, results);
  actCellGrid_ = results->addAction(tr("&Cell grid"));
  actCellGrid_->setEnabled(false);  // like the grid button: once a sweep has completed
  connect(actCellGrid_, &QAction::triggered, this, [this] { sbGridClick(); });
}

QWidget* TfmMain::BuildProblemList(QWidget* parent) {
  auto* problems = new QGroupBox(tr(" Задачи "), parent);
  auto* problemsLayout = new QVBoxLayout(problems);
  problemsLayout->setContentsMargins(4, 4, 4, 4);
  grid_ = new TStripeGrid(problems);
  grid_->SetZebra(true);
  grid_->SetZebraColor(kMoneyGreen);
  grid_->SetZebraFontColor(palette().color(QPalette::WindowText));
  grid_->verticalHeader()->setDefaultSectionSize(18);
  grid_->verticalHeader()->setMinimumWidth(14);
  grid_->setObjectName("StripeGrid1");
  grid_->setTabKeyNavigation(false);  // Tab leaves the list for the next control
  problemsLayout->addWidget(grid_, 1);
  problemsLayout->addLayout(BuildNavigator(problems));
  return problems;
}

QHBoxLayout* TfmMain::BuildNavigator(QWidget* parent) {
  auto* nav = new QHBoxLayout;
  nav->setSpacing(2);
  auto makeNav = [&](const QString& text, const QString& hint, QStyle::StandardPixmap icon) {
    auto* b = new QToolButton(parent);
    b->setText(text);
    b->setIcon(style()->standardIcon(icon));
    b->setToolTip(hint);
    b->setToolButtonStyle(Qt::ToolButtonTextOnly);
    b->setMinimumWidth(30);
    nav->addWidget(b);
    return b;
  };
  navInsert_ = makeNav("+", "Insert record", QStyle::SP_FileDialogNewFolder);
  navDelete_ = makeNav(U("\u2212"), "Delete record", QStyle::SP_TrashIcon);
  navCancel_ = makeNav(U("\u2715"), "Cancel edit", QStyle::SP_DialogCancelButton);
  nav->addStretch(1);
  connect(navInsert_, &QToolButton::clicked, this, [this] {
    Command([&] { vtblProblem_.Insert(); });
  });
  connect(navDelete_, &QToolButton::clicked, this, [this] {
    Command([&] {
      if (dialogs_.MessageDlg("Delete record?", calc::DialogType::Confirmation,
                              {calc::DialogButton::Yes, calc::DialogButton::No}) ==
          calc::DialogButton::Yes)
        vtblProblem_.Delete();
    });
  });
  connect(navCancel_, &QToolButton::clicked, this, [this] {
    Command([&] { vtblProblem_.Cancel(); });
  });
  return nav;
}

QWidget* TfmMain::BuildChartAndSheet(QWidget* parent) {
  rightSplitter_ = new QSplitter(Qt::Vertical, parent);
  rightSplitter_->setHandleWidth(5);
  chart_ = new TWorkingChart(rightSplitter_);
  chart_->setObjectName("Chart1");
  chart_->setMinimumHeight(120);
  auto* sheet = new QGroupBox(tr(" Выражения для расчета энергии Гиббса "), rightSplitter_);
  auto* sheetLayout = new QVBoxLayout(sheet);
  sheetLayout->setContentsMargins(4, 4, 4, 4);
  memFunctions_ = new QPlainTextEdit(sheet);
  memFunctions_->setObjectName("memFunctions");
  memFunctions_->setFont(MemoFont());
  memFunctions_->setLineWrapMode(QPlainTextEdit::NoWrap);
  memFunctions_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  memFunctions_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  // Tab moves on to the next control; Ctrl+Tab types a tab (see eventFilter).
  memFunctions_->setTabChangesFocus(true);
  // An error's mark on a line (ShowError) goes with the next edit.
  connect(memFunctions_, &QPlainTextEdit::textChanged, memFunctions_,
          [this] { memFunctions_->setExtraSelections({}); });
  sheetLayout->addWidget(memFunctions_);
  rightSplitter_->addWidget(chart_);
  rightSplitter_->addWidget(sheet);
  rightSplitter_->setSizes({239, 200});
  rightSplitter_->setStretchFactor(0, 1);
  rightSplitter_->setStretchFactor(1, 1);
  return rightSplitter_;
}

QWidget* TfmMain::BuildBottomPanel(QWidget* parent) {
  auto* bottom = new QWidget(parent);
  bottom->setFixedHeight(145);
  auto* row = new QHBoxLayout(bottom);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(6);
  row->addLayout(BuildCommandButtons(bottom));
  row->addWidget(BuildYAxisBox(bottom));
  row->addWidget(BuildPointCountBox(bottom));
  row->addLayout(BuildDisplayAndClose(bottom));
  row->addStretch(1);
  return bottom;
}

QGridLayout* TfmMain::BuildCommandButtons(QWidget* parent) {
  auto* commands = new QGridLayout;
  commands->setVerticalSpacing(3);
  sbRun_ = new QPushButton(tr("Расчет (F9)"), parent);
  sbRun_->setToolTip(tr("Расчет (F9)"));
  chbStep_ = new QCheckBox(tr("По шагам"), parent);
  chbLive_ = new QCheckBox(tr("Вживую"), parent);
  chbLive_->setObjectName("chbLive");
  chbLive_->setToolTip(
      tr("Recompute the diagram as the sheet, the range or the grid is edited: a preview on a "
         "coarser grid, then the whole grid"));
  sbDiagram_ = new QPushButton(tr("Диаграмма"), parent);
  sbDiagram_->setEnabled(false);
  sbEditChart_ = new QPushButton(tr("Ред. график"), parent);
  sbSpecialPoints_ = new QPushButton(tr("Особые точки"), parent);
  sbGrid_ = new QPushButton(tr("&Grid"), parent);
  sbGrid_->setVisible(false);
  sbGrid_->setEnabled(false);
  lblZ_ = new QLabel(parent);
  lblZ_->setObjectName("lblZ");
  lblZ_->setMinimumWidth(44);
  edZvalue_ = new QLineEdit(parent);
  edZvalue_->setObjectName("DBEdit5");
  edZvalue_->setMaximumWidth(80);
  commands->addWidget(sbRun_, 0, 0);
  commands->addWidget(chbStep_, 0, 1);
  commands->addWidget(sbDiagram_, 1, 0);
  commands->addWidget(sbEditChart_, 1, 1);
  auto* zRow = new QHBoxLayout;
  zRow->addWidget(lblZ_);
  zRow->addWidget(edZvalue_);
  commands->addLayout(zRow, 2, 0, 1, 2);
  commands->addWidget(sbSpecialPoints_, 3, 0);
  // Exact answers after a complete sweep (on by default); off keeps the grid's answers only.
  chbRefine_ = new QCheckBox(tr("Exact values"), parent);
  chbRefine_->setObjectName("chbRefine");
  chbRefine_->setChecked(true);
  chbRefine_->setToolTip(
      tr("Solve invariants, transitions, critical points and boundaries "
         "from the Gibbs energies after the sweep"));
  auto* gridCell = new QHBoxLayout;
  gridCell->addWidget(sbGrid_);
  gridCell->addWidget(chbRefine_);
  commands->addLayout(gridCell, 3, 1);
  // Under the commands, so the window keeps its designed width.
  commands->addWidget(chbLive_, 4, 0, 1, 2);
  return commands;
}

QGroupBox* TfmMain::BuildYAxisBox(QWidget* parent) {
  auto* yAxis = new QGroupBox(tr(" Ось Y  "), parent);
  auto* yLayout = new QGridLayout(yAxis);
  yLayout->setContentsMargins(6, 4, 6, 4);
  yLayout->addWidget(new QLabel(tr(" Y - это"), yAxis), 0, 0);
  dbcbY_ = new QComboBox(yAxis);
  dbcbY_->setObjectName("dbcbY");
  dbcbY_->addItems({calc::kTemperatureText, calc::kPressureText});
  dbcbY_->setCurrentIndex(-1);
  yLayout->addWidget(dbcbY_, 0, 1);
  edYmin_ = new QLineEdit(yAxis);
  edYmin_->setObjectName("DBEdit1");
  edYmax_ = new QLineEdit(yAxis);
  edYmax_->setObjectName("DBEdit2");
  yLayout->addWidget(new QLabel(tr("Ymin"), yAxis), 1, 0);
  yLayout->addWidget(edYmin_, 1, 1);
  yLayout->addWidget(new QLabel(tr("Ymax"), yAxis), 2, 0);
  yLayout->addWidget(edYmax_, 2, 1);
  return yAxis;
}

QGroupBox* TfmMain::BuildPointCountBox(QWidget* parent) {
  auto* counts = new QGroupBox(tr(" Число точек "), parent);
  auto* cLayout = new QGridLayout(counts);
  cLayout->setContentsMargins(6, 4, 6, 4);
  edXPoints_ = new QLineEdit(counts);
  edXPoints_->setObjectName("DBEdit4");
  edYPoints_ = new QLineEdit(counts);
  edYPoints_->setObjectName("DBEdit3");
  edXPoints_->setMaximumWidth(60);
  edYPoints_->setMaximumWidth(60);
  cLayout->addWidget(new QLabel(tr("Ось X"), counts), 0, 0);
  cLayout->addWidget(edXPoints_, 0, 1);
  cLayout->addWidget(new QLabel(tr("Ось Y"), counts), 1, 0);
  cLayout->addWidget(edYPoints_, 1, 1);
  return counts;
}

QVBoxLayout* TfmMain::BuildDisplayAndClose(QWidget* parent) {
  auto* lastColumn = new QVBoxLayout;
  auto* display = new QGroupBox(tr(" Демонстрация "), parent);
  auto* dLayout = new QVBoxLayout(display);
  dLayout->setContentsMargins(6, 4, 6, 4);
  chbShowMosaic_ = new QCheckBox(tr("Мозаичная диаграмма"), display);
  chbShowChart_ = new QCheckBox(tr("Рабочая диаграмма"), display);
  dLayout->addWidget(chbShowMosaic_);
  dLayout->addWidget(chbShowChart_);
  lastColumn->addWidget(display);
  auto* saveRow = new QHBoxLayout;
  chbSave_ = new QCheckBox(tr("Сохранить"), parent);
  chbSave_->setToolTip(tr("Save settings on close"));
  chbSave_->setChecked(true);
  btnClose_ = new QPushButton(tr("Закрыть"), parent);
  saveRow->addWidget(chbSave_);
  saveRow->addStretch(1);
  saveRow->addWidget(btnClose_);
  lastColumn->addLayout(saveRow);
  return lastColumn;
}

void TfmMain::BuildStatusBar() {
  // Two panels, the first written by the run.
  const QFont statusFont = PixelFont("Times New Roman", 12, true);
  status0_ = new QLabel(this);
  statusBar()->setFont(statusFont);
  status0_->setFont(statusFont);
  status0_->setFixedWidth(250);
  status0_->setAlignment(Qt::AlignCenter);
  status0_->setFrameShape(QFrame::StyledPanel);
  status1_ = new QLabel(this);
  status1_->setFont(statusFont);
  status1_->setFixedWidth(50);
  status1_->setFrameShape(QFrame::StyledPanel);
  statusBar()->addWidget(status0_);
  statusBar()->addWidget(status1_);
  statusBar()->setSizeGripEnabled(true);
}

void TfmMain::ConnectCommands() {
  connect(sbRun_, &QPushButton::clicked, this, [this] { sbRunClick(); });
  // Live mode follows every edit of what the diagram is computed from.
  connect(chbLive_, &QCheckBox::toggled, this, [this](bool on) {
    if (windows_) windows_->SetLive(on);
    if (on) LiveEdited();
  });
  connect(memFunctions_, &QPlainTextEdit::textChanged, this, [this] { LiveEdited(); });
  for (QLineEdit* e : {edYmin_, edYmax_, edZvalue_, edXPoints_, edYPoints_})
    connect(e, &QLineEdit::textEdited, this, [this] { LiveEdited(); });
  connect(dbcbY_, &QComboBox::activated, this, [this] { LiveEdited(); });
  connect(chbStep_, &QCheckBox::clicked, this, [this] { chbStepClick(); });
  connect(sbDiagram_, &QPushButton::clicked, this, [this] { sbDiagramClick(); });
  connect(sbEditChart_, &QPushButton::clicked, this, [this] { sbEditChartClick(); });
  connect(sbSpecialPoints_, &QPushButton::clicked, this, [this] { sbSpecialPointsClick(); });
  connect(sbGrid_, &QPushButton::clicked, this, [this] { sbGridClick(); });
  connect(btnClose_, &QPushButton::clicked, this, [this] { N3Click(); });
  // Whenever "Рабочая диаграмма" changes, by a click or with another problem.
  connect(chbShowChart_, &QCheckBox::toggled, this, [this](bool on) {
    ShowWorkingChart(on);
    mailbox_.SetShowChart(on);
  });
  connect(chbShowMosaic_, &QCheckBox::toggled, this,
          [this](bool on) { mailbox_.SetShowMosaic(on); });
}

void TfmMain::BindTable() {
  vtblProblem_.SetIndexFieldNames("ProblemName");
  vtblProblem_.SetTableName(kDefaultWorkingFile);
  vtblProblem_.SetLoadMode(store::lmFile);
  const QString point = QLocale().decimalPoint();
  vtblProblem_.SetDecimalSeparator(point.size() == 1 && point.at(0).unicode() < 128
                                       ? static_cast<char>(point.at(0).unicode())
                                       : '.');

  vtblProblem_.AfterInsert = [this](store::TMemTable&) { vtblProblemAfterInsert(); };
  vtblProblem_.BeforePost = [this](store::TMemTable&) { vtblProblemBeforePost(); };
  vtblProblem_.AfterPost = [this](store::TMemTable&) { vtblProblemAfterPost(); };
  // A deletion changes the database as a post does: it is saved at exit.
  vtblProblem_.AfterDelete = [this](store::TMemTable&) { tableModified_ = true; };
  vtblProblem_.AfterScroll = [this](store::TMemTable&) { vtblProblemAfterScroll(); };

  binding_ = new TDataBinding(vtblProblem_);
  binding_->OnError = [this](const std::exception& e) { ShowError(e); };
  binding_->BindGrid(grid_, "ProblemName", tr("Название задачи"));
  binding_->BindMemo(memFunctions_, "Functs");
  binding_->BindCombo(dbcbY_, "Yparameter");
  binding_->BindEdit(edYmin_, "Ymin");
  binding_->BindEdit(edYmax_, "Ymax");
  binding_->BindLabel(lblZ_, "Zparameter");
  binding_->BindEdit(edZvalue_, "Zvalue");
  binding_->BindEdit(edXPoints_, "XPoints");
  binding_->BindEdit(edYPoints_, "YPoints");
  binding_->BindCheck(chbShowMosaic_, "ShowMosaicDiagram");
  binding_->BindCheck(chbShowChart_, "ShowChart");
  // The handler of the Y list runs after the binding has started Edit and stored the item.
  connect(dbcbY_, &QComboBox::activated, this, [this] { dbcbYChange(); });

  stateLink_ = std::make_unique<StateLink>([this] { UpdateNavigator(); });
  vtblProblem_.AddDataLink(stateLink_.get());
  UpdateNavigator();
}

void TfmMain::UpdateNavigator() {
  const bool active = vtblProblem_.Active() && !sweepBusy_;
  const auto st = vtblProblem_.State();
  const bool editing = st == store::dsInsert || st == store::dsEdit;
  navInsert_->setEnabled(active);
  navDelete_->setEnabled(active && (editing || vtblProblem_.RecordCount() > 0));
  navCancel_->setEnabled(editing && !sweepBusy_);
}

void TfmMain::LockDuringSweep(QAction* command) {
  sweepLocked_.push_back(command);
  if (sweepBusy_) command->setEnabled(false);
}

void TfmMain::SetSweepBusy(bool busy, bool problemEditable) {
  sweepBusy_ = busy;
  for (QAction* a : sweepLocked_) a->setEnabled(!busy);
  grid_->setEnabled(listEnabled_ && !busy);
  UpdateNavigator();
  SetProblemReadOnly(busy && !problemEditable);
}

// While a sweep works, the sheet, the range and the grid it was started with are what it draws;
// a line typed meanwhile would leave a diagram that no longer matches the sheet. They are read
// only until the run command ends (the text stays selectable and copyable), shown on the window's
// background colour so the user sees why typing does nothing.
void TfmMain::SetProblemReadOnly(bool readOnly) {
  const auto look = [readOnly](QWidget* w) {
    if (!readOnly) {
      w->setPalette(QPalette());
      return;
    }
    QPalette p = w->palette();
    p.setColor(QPalette::Base, p.color(QPalette::Window));
    w->setPalette(p);
  };
  memFunctions_->setReadOnly(readOnly);
  look(memFunctions_);
  for (QLineEdit* e : {edYmin_, edYmax_, edZvalue_, edXPoints_, edYPoints_}) {
    e->setReadOnly(readOnly);
    look(e);
  }
  dbcbY_->setEnabled(!readOnly);
}

// ------------------------------------------------------------------ helpers

template <typename F>
void TfmMain::Command(F&& f) {
  try {
    f();
  } catch (const store::EAbort&) {
    // a check refused and has already shown its message
  } catch (const std::exception& e) {
    ShowError(e);
  }
}

namespace {

// Marks a line of the sheet (from 1) with a tinted background and puts the cursor at the column
// (from 1; 0 for the line's start). The mark goes with the next edit.
void MarkSheetLine(QPlainTextEdit* memo, int line, int column) {
  const QTextBlock block = memo->document()->findBlockByNumber(line - 1);
  if (!block.isValid()) return;
  QTextCursor cursor(block);
  cursor.setPosition(block.position() + std::clamp(column - 1, 0, block.length() - 1));
  memo->setTextCursor(cursor);
  QTextEdit::ExtraSelection mark;
  mark.cursor = cursor;
  mark.cursor.clearSelection();
  mark.format.setBackground(QColor(255, 210, 210));
  mark.format.setProperty(QTextFormat::FullWidthSelection, true);
  memo->setExtraSelections({mark});
}

}  // namespace

// An error of the sheet marks its line and shows where it struck beside its own text.
void TfmMain::ShowError(const std::exception& e) {
  QString text = QString::fromUtf8(e.what());
  if (const auto* at = dynamic_cast<const calc::SheetPlace*>(&e)) {
    MarkSheetLine(memFunctions_, at->Line, at->Column);
    text = tr("Line %1 (%2), column %3:")
               .arg(at->Line)
               .arg(QString::fromStdString(at->Key))
               .arg(at->Column) +
           "\n" + QString::fromUtf8(at->Message);
  } else if (const auto* at = dynamic_cast<const calc::EGridPointError*>(&e)) {
    if (at->Line > 0) MarkSheetLine(memFunctions_, at->Line, 0);
    const char sep = DecimalSeparator();
    text += "\n" + tr("Phase %1 at X = %2, %3 = %4")
                       .arg(QString::fromStdString(at->Phase))
                       .arg(QString::fromStdString(numeric::FormatGeneral15(at->X, sep)))
                       .arg(QString::fromStdString(at->YName))
                       .arg(QString::fromStdString(numeric::FormatGeneral15(at->Y, sep)));
  }
  dialogs_.MessageDlg(text.toStdString(), calc::DialogType::Error, {calc::DialogButton::OK});
}

namespace {

// The executable's folder (or the one the options name), when the settings can be written
// there; else empty.
QString WritableProgramFolder(const TMainOptions& o) {
  const QString folder = o.settingsWriteFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                         : o.settingsWriteFolder;
  const QFileInfo info(folder);
  return info.isDir() && info.isWritable() ? folder : QString();
}

QString UserConfigFolder(const TMainOptions& o) {
  return o.userConfigFolder.isEmpty()
             ? QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)
             : o.userConfigFolder;
}

// For an installed program started where there is no Problems.d: the user's own copy of the
// sample database it ships, made from the sample the first time (the sample itself lies in a
// folder the user cannot write into). Empty when the program ships no sample (a build tree) or
// the copy cannot be made.
QString UserSampleDatabase(const TMainOptions& o) {
  const QString sample =
      o.installedSample.isEmpty()
          ? QDir(QCoreApplication::applicationDirPath())
                .filePath(QString("../share/brelona/data/") + kDefaultWorkingFile)
          : o.installedSample;
  if (!QFileInfo::exists(sample)) return {};
  const QString folder = o.userDataFolder.isEmpty()
                             ? QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)
                             : o.userDataFolder;
  const QString copy = QDir(folder).filePath(kDefaultWorkingFile);
  if (!QFileInfo::exists(copy)) {
    if (!QDir().mkpath(folder) || !QFile::copy(sample, copy)) return {};
    QFile::setPermissions(copy, QFile::permissions(copy) | QFileDevice::WriteOwner);
  }
  return copy;
}

}  // namespace

// One file is read at start-up and written at the end, so what one session keeps the next one
// finds however it is started: the current folder's when it has one, else the one next to the
// executable, or for an installed program that cannot write there, the user's configuration
// folder's.
QString TfmMain::SettingsPathFor(const TMainOptions& o) {
  if (!o.settingsReadPath.isEmpty()) return o.settingsReadPath;
  const QString here = QDir::current().filePath(kSettingsFileName);
  if (QFileInfo::exists(here)) return here;
  const QString program = WritableProgramFolder(o);
  return QDir(program.isEmpty() ? UserConfigFolder(o) : program).filePath(kSettingsFileName);
}

QString TfmMain::SettingsPath() const {
  if (settingsPath_.isEmpty()) settingsPath_ = SettingsPathFor(options_);
  return settingsPath_;
}

void TfmMain::SetDatabaseCaption(const QString& caption) { setWindowTitle(caption); }

bool TfmMain::PostIfEditing() {
  const auto st = vtblProblem_.State();
  if (st != store::dsEdit && st != store::dsInsert) return true;
  try {
    vtblProblem_.Post();
  } catch (const store::EAbort&) {
    return false;
  }
  return true;
}

void TfmMain::RunCheckProblem() {
  Command([&] {
    if (!engine_->CheckProblem() && engine_->ZParameterUnassigned()) FocusZValue();
  });
}

// ------------------------------------------------------------------ start-up and shut-down

void TfmMain::StartUp() {
  tableModified_ = false;
  vtblProblem_.Close();

  settingsPath_.clear();
  if (const auto s = ReadSettingsFile(QFile::encodeName(SettingsPath()).toStdString())) {
    move(s->Left, s->Top);
    resize(s->Width, s->Height);
    workingFileName_ = s->WorkingFileName;
    mosaicColor_ = s->MDcolor;
  }
  ReadExportChoices();

  if (!QFileInfo::exists(QString::fromStdString(workingFileName_)) &&
      workingFileName_ == kDefaultWorkingFile) {
    if (const QString copy = UserSampleDatabase(options_); !copy.isEmpty())
      workingFileName_ = QFile::encodeName(copy).toStdString();
  }
  if (!QFileInfo::exists(QString::fromStdString(workingFileName_))) {
    const auto chosen = dialogs_.OpenDatabase();
    if (!chosen) {
      dialogs_.MessageDlg("Database not found", calc::DialogType::Error,
                          {calc::DialogButton::OK});
      return;
    }
    workingFileName_ = *chosen;
  }
  vtblProblem_.SetTableName(workingFileName_);
  SetDatabaseCaption(QString::fromStdString("Database: " + workingFileName_));
  bool opened = false;
  Command([&] {
    vtblProblem_.Open();
    RememberDatabaseFile();
    opened = true;
  });
  if (opened) RunCheckProblem();
}

bool TfmMain::ShutDown() {
  if (!chbSave_->isChecked()) return true;
  bool ok = false;
  Command([&] {
    if (!PostIfEditing()) return;
    SaveDatabase();
    ok = true;
  });
  if (!ok) return false;

  TSettings s;
  s.Top = y();
  s.Left = x();
  s.Height = height();
  s.Width = width();
  s.WorkingFileName = workingFileName_;
  s.MDcolor = mosaicColor_;
  const QString path = SettingsPath();
  QDir().mkpath(QFileInfo(path).absolutePath());
  try {
    WriteSettingsFile(QFile::encodeName(path).toStdString(), s);
  } catch (const std::exception& e) {
    // The database is already saved; the settings are only reported, once.
    if (!settingsWriteReported_) {
      settingsWriteReported_ = true;
      dialogs_.MessageDlg(std::string("The settings could not be saved: ") + e.what(),
                          calc::DialogType::Warning, {calc::DialogButton::OK});
    }
    return false;
  }
  return true;
}

void TfmMain::closeEvent(QCloseEvent* event) {
  // During a run the sweep is stopped first; the run command closes the window when it has
  // unwound, through the path below.
  if (engine_->Running()) {
    closeRequested_ = true;
    engine_->RequestStop();
    event->ignore();
    return;
  }
  // A problem that cannot be stored would make the shut-down skip every save; keep the window
  // open instead, so the user can correct it or cancel the edit.
  if (chbSave_->isChecked()) {
    bool ok = false;
    Command([&] { ok = PostIfEditing(); });
    if (!ok) {
      event->ignore();
      return;
    }
  }
  event->accept();
  emit Closed();
}

// ------------------------------------------------------------------ keys

bool TfmMain::eventFilter(QObject* watched, QEvent* event) {
  if (watched == memFunctions_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Tab && key->modifiers() == Qt::ControlModifier) {
      memFunctions_->insertPlainText("\t");
      return true;
    }
  }
  // Esc in any window of the program stops a sweep that is computing its levels.
  if (event->type() == QEvent::KeyPress && sweepThread_.joinable() &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    engine_->RequestStop();
    return true;
  }
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_F9 && watched->isWidgetType()) {
    auto* w = static_cast<QWidget*>(watched);
    // A key event travels from the focused control up to its parents; run once, at the first.
    QWidget* focus = QApplication::focusWidget();
    const bool first = focus ? w == focus : w == w->window();
    if (first && w->window() == this) {
      sbRunClick();
      // The key has done its work. Left to travel on to the parents, it would run again when a
      // message box of the run has left the window without a focused control.
      return true;
    }
  }
  // Other keys go on to the focused control as usual.
  return QMainWindow::eventFilter(watched, event);
}

// ------------------------------------------------------------------ commands

void TfmMain::sbRunClick() {
  // Pressed again (or F9) while the levels are computed, the button is "Stop": the sweep stops
  // within its level and keeps the levels before it. Pressed inside the run's own questions and
  // checks, it does nothing.
  if (engine_->Running()) {
    if (sweepThread_.joinable()) engine_->RequestStop();
    return;
  }
  SetSweepBusy(true);
  status1_->clear();
  bool began = false;
  const bool step = chbStep_->isChecked();
  const bool showMosaic = chbShowMosaic_->isChecked();
  HideMosaicWindow();
  if (showMosaic) ShowMosaicWindow(true);
  Command([&] {
    began = engine_->BeginRun();
    if (!began && engine_->ZParameterUnassigned()) FocusZValue();
  });
  std::exception_ptr sweepError;
  if (began) {
    SetCaptions(engine_->Problem().ProblemName);
    if (windows_) windows_->MosaicReplaced();
    SetProblemListEnabled(step);
    if (!step && showMosaic) ShowMosaicWindow(false);
    // A pause after the set-up: the windows show the new mosaic, and a close asked for meanwhile
    // stops the sweep before its first level.
    if (windows_) windows_->LevelDone();
    QApplication::processEvents();
    // The special points and their exact answers on the sweep's thread too: at a fine grid they
    // take seconds, and the window stays live meanwhile.
    const std::string yText = dbcbY_->currentText().toStdString();
    sweepError = SweepOnWorker(windows_ ? &yText : nullptr);
    Command([&] { engine_->EndRun(sweepError); });
    // A stop while the exact answers were computed keeps the whole grid: its diagram is shown,
    // with the grid's answers only.
    if (!sweepError && engine_->SpecialPointsStopped()) SweepCompleted();
  }
  SetSweepBusy(false);
  ShowRunEnd();
  chart_->Flush();
  if (windows_) windows_->RunEnded();
  if (closeRequested_) {
    closeRequested_ = false;
    close();
  }
}

// The status line shows where the run ended, not the level it last wrote on the way (every
// tenth): the last level computed, and in the second panel whether the sweep reached Ymin.
void TfmMain::ShowRunEnd() {
  const calc::SweepState& st = results_.State;
  if (st.CheckFailed || st.LevelIndex < 0) {
    status0_->clear();
    status1_->setText(tr("failed"));
    return;
  }
  const double y = std::max(st.Ymin, st.Ymax - st.LevelIndex * st.YStep);
  const bool done =
      std::abs(st.Y - st.Ymin) < 1e-11 && !engine_->Running() && engine_->SweepComplete();
  SetStatusText(calc::YParameterText(st.Yparameter) + " = " +
                numeric::FormatFloatPattern(done ? st.Ymin : y, 4, st.DecimalSeparator));
  status1_->setText(done ? tr("done") : chbStep_->isChecked() ? tr("step") : tr("stopped"));
}

std::exception_ptr TfmMain::SweepOnWorker(const std::string* specialPointsAhead) {
  // A live preview leaves the working chart to the whole grid that follows: the sweep then also
  // skips the phases far above the lowest.
  mailbox_.SetShowChart(chbShowChart_->isChecked() && !LiveChartLeft());
  mailbox_.SetShowMosaic(chbShowMosaic_->isChecked());
  const QString runText = sbRun_->text();
  sbRun_->setText(tr("Стоп (Esc)"));
  if (windows_) windows_->SweepStarted();
  chart_->SetThinned(true);
  QEventLoop loop;
  sweepError_ = nullptr;
  sweepThread_ = std::thread([this, &loop, specialPointsAhead] {
    try {
      engine_->Sweep(&mailbox_);
      if (specialPointsAhead) engine_->FindSpecialPointsAhead(*specialPointsAhead);
    } catch (...) {
      sweepError_ = std::current_exception();
    }
    QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
  });
  // The window stays live: moved, resized, scrolled, read; the sweep's levels come in as they
  // are done.
  loop.exec();
  sweepThread_.join();
  ShowPostedLevels();
  chart_->SetThinned(false);
  if (windows_) windows_->SweepEnded();
  sbRun_->setText(runText);
  return std::exchange(sweepError_, nullptr);
}

// ------------------------------------------------------------------ live mode

calc::DialogButton TfmMain::EngineMessages::MessageDlg(
    const std::string& text, calc::DialogType type,
    const std::vector<calc::DialogButton>& buttons) {
  if (!quiet) return dialogs_.MessageDlg(text, type, buttons);
  if (first.empty() && type != calc::DialogType::Information) first = text;
  return buttons.empty() ? calc::DialogButton::OK : buttons.front();
}

void TfmMain::EngineMessages::ShowMessage(const std::string& text) {
  if (!quiet) dialogs_.ShowMessage(text);
}

void TfmMain::LiveEdited() {
  if (!chbLive_ || !chbLive_->isChecked()) return;
  // A live run of what was on screen before this edit is stopped: its diagram is outdated.
  if (liveRun_) {
    liveEdited_ = true;
    engine_->RequestStop();
  }
  liveTimer_.start();
}

void TfmMain::LiveRecompute() {
  if (!chbLive_->isChecked() || closeRequested_) return;
  if (engine_->Running()) {
    // A live run still unwinding is followed at once by the recompute (below, where it ends);
    // the user's own run is waited for.
    if (liveRun_) {
      engine_->RequestStop();
      liveFollows_ = true;
    } else {
      liveTimer_.start();
    }
    return;
  }
  const calc::ProblemInput p = ProblemOnScreen();
  livePreviewGrid_ = LivePreviewGrid(p.XPoints, p.YPoints,
                                     p.ProblemName == liveCostOf_ ? liveSecondsPerPoint_ : 0);
  liveWholeFollows_ =
      p.XPoints > livePreviewGrid_.first || p.YPoints > livePreviewGrid_.second || p.Refine;
  if (LiveSweep(true)) {
    ++livePreviews_;
    // Then the whole grid, unless the preview was it, the user typed on meanwhile or turned
    // live mode off.
    if (liveWholeFollows_ && !liveTimer_.isActive() && chbLive_->isChecked()) LiveSweep(false);
  }
  if (closeRequested_) {
    closeRequested_ = false;
    liveFollows_ = false;
    close();
    return;
  }
  // A recompute asked for while this one unwound; one still waiting for the typing to pause
  // comes by its timer.
  if (std::exchange(liveFollows_, false) && !liveTimer_.isActive()) {
    QMetaObject::invokeMethod(
        this, [this] { LiveRecompute(); }, Qt::QueuedConnection);
  }
}

std::pair<int, int> TfmMain::LivePreviewGrid(int xpoints, int ypoints, double secondsPerPoint) {
  // Not measured yet: the least grid, which costs little whatever the phases, and its time
  // chooses the next preview's grid.
  if (secondsPerPoint <= 0)
    return {std::min(xpoints, kLivePreviewLeast), std::min(ypoints, kLivePreviewLeast)};
  int x = std::min(xpoints, kLivePreviewPoints);
  int y = std::min(ypoints, kLivePreviewPoints);
  // A level has x + 1 compositions, the sweep y + 1 levels.
  const double seconds = secondsPerPoint * (x + 1.0) * (y + 1.0);
  if (seconds > kLivePreviewSeconds) {
    const double scale = std::sqrt(kLivePreviewSeconds / seconds);
    x = std::max(std::min(x, kLivePreviewLeast), static_cast<int>(x * scale));
    y = std::max(std::min(y, kLivePreviewLeast), static_cast<int>(y * scale));
  }
  return {x, y};
}

bool TfmMain::LiveSweep(bool preview) {
  liveRun_ = true;
  livePreview_ = preview;
  liveEdited_ = false;
  engineMessages_.quiet = true;
  engineMessages_.first.clear();
  SetSweepBusy(true, /*problemEditable=*/true);
  status1_->clear();
  std::exception_ptr error;
  bool began = false;
  try {
    began = engine_->BeginRun();
  } catch (...) {
    error = std::current_exception();
  }
  if (began) {
    SetCaptions(engine_->Problem().ProblemName);
    if (windows_) windows_->MosaicReplaced();
    QElapsedTimer sweepTime;
    sweepTime.start();
    // The whole grid's refinement, which may take seconds, on the sweep's thread too: the window
    // stays live and an edit stops it.
    const std::string yText = dbcbY_->currentText().toStdString();
    error = SweepOnWorker(windows_ && !preview ? &yText : nullptr);
    const double seconds = static_cast<double>(sweepTime.nsecsElapsed()) / 1e9;
    try {
      engine_->EndRun(std::exchange(error, nullptr));
    } catch (...) {
      error = std::current_exception();
    }
    // Measured on previews only: a finer grid costs less a point (each level's own work is
    // shared by more points), which would make the next preview too fine.
    if (preview && !error && engine_->SweepComplete()) {
      const calc::SweepState& st = results_.State;
      liveSecondsPerPoint_ = seconds / ((st.XPointsM1 + 2.0) * (st.LevelIndex + 1.0));
      liveCostOf_ = engine_->Problem().ProblemName;
    }
  }
  SetSweepBusy(false);
  engineMessages_.quiet = false;
  liveRun_ = false;
  livePreview_ = false;
  ShowRunEnd();
  chart_->Flush();
  if (windows_) windows_->RunEnded();
  if (began && !error && engine_->SweepComplete()) {
    if (windows_) windows_->MarkStale(QString());
    return !liveEdited_;
  }
  // Overtaken by an edit: the next run follows, nothing to say.
  if (liveEdited_ || closeRequested_) return false;
  // The sheet on screen has an error: the last good diagram stays, marked, and the sheet's line
  // is shown.
  QString why = QString::fromStdString(engineMessages_.first);
  if (error) {
    try {
      std::rethrow_exception(error);
    } catch (const calc::SheetPlace& at) {
      MarkSheetLine(memFunctions_, at.Line, at.Column);
      why = tr("Line %1 (%2), column %3:")
                .arg(at.Line)
                .arg(QString::fromStdString(at.Key))
                .arg(at.Column) +
            " " + QString::fromStdString(at.Message);
    } catch (const std::exception& e) {
      why = QString::fromUtf8(e.what());
    } catch (...) {
      why = tr("failed");
    }
  }
  if (windows_) windows_->MarkStale(why.isEmpty() ? tr("failed") : why);
  return false;
}

void TfmMain::ShowPostedLevels() {
  calc::PostedLevel posted = mailbox_.Take();
  if (posted.levels == 0) return;
  if (!posted.status.empty()) SetStatusText(posted.status);
  if (!LiveChartLeft()) chart_->ClearSeries();
  if (posted.chart) {
    for (size_t k = 0; k < posted.series.size(); ++k) {
      chart_->SetSeriesPoints(static_cast<int>(k), posted.series[k]);
    }
  }
  for (const calc::MosaicMark& mark : posted.mosaic) mark.DrawOn(results_.Mosaic);
  if (windows_) windows_->LevelDone();
  for (const std::string& text : posted.messages) dialogs_.ShowMessage(text);
}

void TfmMain::chbStepClick() { SetProblemListEnabled(chbStep_->isChecked()); }

void TfmMain::sbDiagramClick() {
  Command([&] { BuildDiagram(); });
}

void TfmMain::sbSpecialPointsClick() {
  Command([&] { ShowSpecialPoints(); });
}

void TfmMain::sbGridClick() {
  Command([&] {
    if (windows_) windows_->ShowGrid();
  });
}

void TfmMain::sbEditChartClick() {
  Command([&] { chart_->EditAppearance(this); });
}


void TfmMain::MosaicColorClick() {
  Command([&] {
    if (const auto c = dialogs_.ChooseColor(mosaicColor_)) mosaicColor_ = *c;
  });
}

void TfmMain::AboutClick() {
  if (about_) {
    about_->exec();
    return;
  }
  TfmAbout about(this);
  about.exec();
}

void TfmMain::N3Click() { close(); }

bool TfmMain::SaveBeforeSwitch() {
  if (!chbSave_->isChecked()) return true;
  if (!PostIfEditing()) return false;
  SaveDatabase();
  return true;
}

namespace {

std::pair<qint64, qint64> FileStamp(const std::string& path) {
  const QFileInfo info(QString::fromStdString(path));
  if (!info.exists()) return {-1, 0};
  return {info.size(), info.lastModified().toMSecsSinceEpoch()};
}

}  // namespace

void TfmMain::RememberDatabaseFile() {
  databaseStamp_ = FileStamp(workingFileName_);
}

void TfmMain::SaveDatabase() {
  if (!tableModified_) return;
  if (FileStamp(workingFileName_) != databaseStamp_ &&
      dialogs_.MessageDlg(tr("The database %1 was changed by another program since this window "
                             "read it. Replace it with this window's problems?")
                              .arg(QString::fromStdString(workingFileName_))
                              .toStdString(),
                          calc::DialogType::Confirmation,
                          {calc::DialogButton::Yes, calc::DialogButton::No}) !=
          calc::DialogButton::Yes) {
    return;
  }
  vtblProblem_.SaveToFile(workingFileName_);
  RememberDatabaseFile();
}

void TfmMain::N1Click() {
  Command([&] {
    const auto chosen = dialogs_.OpenDatabase();
    if (!chosen) return;
    if (!SaveBeforeSwitch()) return;
    vtblProblem_.Close();
    workingFileName_ = *chosen;
    vtblProblem_.SetTableName(workingFileName_);
    tableModified_ = false;
    SetDatabaseCaption(QString::fromStdString("Database: " + workingFileName_));
    vtblProblem_.Open();
    RememberDatabaseFile();
    RunCheckProblem();
  });
}

void TfmMain::N5Click() {
  Command([&] {
    std::string proposed = ".d";
    std::string name;
    for (;;) {
      const auto entered =
          dialogs_.InputQuery(tr("Имя новой базы данных").toStdString(),
                              tr("Введите имя файла с расширением .d").toStdString(), proposed);
      if (!entered) return;
      if (Trimmed(*entered).empty()) {
        dialogs_.MessageDlg("File name must be assigned", calc::DialogType::Warning,
                            {calc::DialogButton::OK});
        return;
      }
      if (QFileInfo::exists(QString::fromStdString(*entered))) {
        dialogs_.MessageDlg("File " + *entered + " already exists", calc::DialogType::Warning,
                            {calc::DialogButton::OK});
        proposed = *entered;
        continue;
      }
      name = *entered;
      break;
    }
    if (!SaveBeforeSwitch()) return;
    vtblProblem_.First();
    while (!vtblProblem_.Eof() && vtblProblem_.RecordCount() > 0) vtblProblem_.Delete();
    workingFileName_ = name;
    vtblProblem_.SetTableName(workingFileName_);
    vtblProblem_.SaveToFile(name);
    vtblProblem_.Open();
    RememberDatabaseFile();
    SetDatabaseCaption(QString::fromStdString(name));
    tableModified_ = false;
  });
}

// ------------------------------------------------------------------ editing rules

void TfmMain::vtblProblemAfterInsert() {
  vtblProblem_.FieldByName("YPoints").SetAsInteger(100);
  vtblProblem_.FieldByName("XPoints").SetAsInteger(100);
  vtblProblem_.FieldByName("ShowChart").SetAsBoolean(true);
}

void TfmMain::vtblProblemBeforePost() {
  const auto refuse = [this](const std::string& message) {
    dialogs_.MessageDlg(message, calc::DialogType::Warning, {calc::DialogButton::OK});
    throw store::EAbort();
  };
  if (vtblProblem_.FieldByName("ProblemName").AsString().empty())
    refuse("Problem name must be assigned");
  if (vtblProblem_.FieldByName("YParameter").AsString().empty())
    refuse("Y parameter must be selected");
  const std::string z = lblZ_->text().toStdString();
  store::TField& zvalue = vtblProblem_.FieldByName("Zvalue");
  if (zvalue.AsString().empty()) refuse(z + " must be assigned");
  if (!(zvalue.AsFloat() > 0)) refuse(z + " must have positive value");
  vtblProblem_.FieldByName("Zparameter").SetAsString(z);
}

void TfmMain::vtblProblemAfterPost() { tableModified_ = true; }

void TfmMain::vtblProblemAfterScroll() {
  status0_->clear();
  status1_->clear();
  engine_->SetYRange(vtblProblem_.FieldByName("Ymin").AsFloat(),
                     vtblProblem_.FieldByName("Ymax").AsFloat());
  ShowWorkingChart(vtblProblem_.FieldByName("ShowChart").AsBoolean());
}

void TfmMain::dbcbYChange() {
  switch (dbcbY_->currentIndex()) {
    case 0: lblZ_->setText("P, bar"); break;
    case 1: lblZ_->setText("T, K"); break;
    default: break;
  }
}

void TfmMain::ShowWorkingChart(bool on) {
  chart_->setVisible(on);
  sbEditChart_->setVisible(on);
}

// ------------------------------------------------------------------ calc::RunHost and the run

void TfmMain::SetStatusText(const std::string& text) {
  status0_->setText(QString::fromStdString(text));
}

std::optional<calc::ProblemInput> TfmMain::CurrentProblem() {
  // A live run computes what is on screen, unposted: the record's checks (and their boxes) wait
  // until the user leaves it.
  if (liveRun_) {
    calc::ProblemInput p = ProblemOnScreen();
    if (livePreview_) {
      p.XPoints = std::min(p.XPoints, livePreviewGrid_.first);
      p.YPoints = std::min(p.YPoints, livePreviewGrid_.second);
      p.Refine = false;
    }
    return p;
  }
  if (!PostIfEditing()) return std::nullopt;
  return ProblemOnScreen();
}

calc::ProblemInput TfmMain::ProblemOnScreen() {
  // The record as posted; the sheet as the memo holds it, the Y parameter as the list shows it
  // and the fixed parameter's name as the label shows it. With no table open, or a field the
  // table lacks, the other values are those a problem starts with.
  calc::ProblemInput p;
  if (vtblProblem_.Active())
    p = problem::ReadProblem(vtblProblem_, problem::MissingField::UseDefault);
  p.Functs = memFunctions_->toPlainText().toStdString();
  p.Yparameter = static_cast<calc::YParameter>(dbcbY_->currentIndex());
  p.Zparameter = lblZ_->text().toStdString();
  p.Refine = chbRefine_->isChecked();
  return p;
}

calc::RunSettings TfmMain::Settings() {
  calc::RunSettings s;
  s.decimal_separator = DecimalSeparator();
  s.step_mode = chbStep_->isChecked() && !liveRun_;
  s.mosaic_width = 400;
  s.mosaic_height = 400;
  if (windows_) {
    const QSize size = windows_->MosaicClientSize();
    s.mosaic_width = size.width();
    s.mosaic_height = size.height();
  }
  s.mosaic_color = static_cast<std::uint32_t>(mosaicColor_);
  return s;
}

void TfmMain::SweepCompleted() {
  SetProblemListEnabled(true);
  EnableResultCommands();
  BuildDiagram();
  if (windows_ && windows_->SpecialPointsVisible()) ShowSpecialPoints();
}

char TfmMain::DecimalSeparator() {
  return vtblProblem_.DecimalSeparator();
}

void TfmMain::FocusZValue() {
  if (edZvalue_->isVisible() && edZvalue_->isEnabled()) edZvalue_->setFocus();
}

void TfmMain::SetCaptions(const std::string& problem_name) {
  if (windows_) windows_->SetCaptions(QString::fromStdString(problem_name));
}

void TfmMain::HideMosaicWindow() {
  if (windows_) windows_->HideMosaic();
}

void TfmMain::ShowMosaicWindow(bool keep_main_in_front) {
  if (!windows_) return;
  windows_->ShowMosaic();
  if (keep_main_in_front) {
    raise();
    activateWindow();
  }
}

void TfmMain::SetProblemListEnabled(bool enabled) {
  listEnabled_ = enabled;
  grid_->setEnabled(enabled && !sweepBusy_);
}

void TfmMain::EnableResultCommands() {
  sbDiagram_->setEnabled(true);
  sbGrid_->setEnabled(true);
  actCellGrid_->setEnabled(true);
}

void TfmMain::BuildDiagram() {
  if (windows_) {
    windows_->BuildDiagram();
    return;
  }
  engine_->FindSpecialPoints(dbcbY_->currentText().toStdString());
}

void TfmMain::ShowSpecialPoints() {
  if (windows_) windows_->ShowSpecialPoints();
}

}  // namespace app
