#pragma once
// TfmMain, the main window: the problem list and the current problem's fields, the commands
// that run a calculation and open the result windows, the working chart, the database commands
// and the settings file. Closing it ends the program.

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "app/dialogs.h"
#include "calc/engine.h"
#include "calc/level_mailbox.h"
#include "calc/ports.h"
#include "calc/results.h"
#include "store/memtable.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QGroupBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QToolButton;
class QVBoxLayout;

namespace app {

class TDataBinding;
class TfmAbout;
class TResultWindows;
class TStripeGrid;
class TWorkingChart;

struct TMainOptions {
  // The settings file; empty: the one SettingsPathFor finds.
  QString settingsReadPath;
  // The executable's folder, where the settings are kept when the current folder has none;
  // empty: the executable's own.
  QString settingsWriteFolder;
  // Where the settings live when that folder cannot be written into (an installed program);
  // empty: the user's configuration folder for this program.
  QString userConfigFolder;
  // The sample database an installed program ships; empty: share/brelona/data/Problems.d
  // beside the executable's folder.
  QString installedSample;
  // Where an installed program keeps the user's own copy of it; empty: the user's data folder
  // for this program.
  QString userDataFolder;
};

class TfmMain : public QMainWindow, public calc::RunHost {
  Q_OBJECT
 public:
  explicit TfmMain(TMainOptions options = {}, QWidget* parent = nullptr);
  ~TfmMain() override;

  // Start-up: settings, the working database, the problem check on the current problem.
  void StartUp();
  // Shut-down: with "Сохранить" checked, posts a pending edit, saves the database when a
  // problem was posted and writes the settings file. Returns false when a step failed (its
  // message shown) and the remaining steps were skipped.
  bool ShutDown();

  void SetResultWindows(TResultWindows* windows) { windows_ = windows; }
  void SetAboutBox(TfmAbout* about) { about_ = about; }

  // Commands.
  void sbRunClick();
  void sbDiagramClick();
  void sbSpecialPointsClick();
  void sbGridClick();
  void sbEditChartClick();
  void N1Click();  // Open
  void N5Click();  // Create
  void N3Click();  // Close
  void MosaicColorClick();
  void AboutClick();
  void chbStepClick();

  // Values kept for the problem store.
  const std::string& WorkingFileName() const { return workingFileName_; }
  bool TableModified() const { return tableModified_; }
  std::int32_t MosaicColorValue() const { return mosaicColor_; }
  // The settings file of this session ("Brelona.cfg"), read at start-up and written at the end.
  QString SettingsPath() const;
  static QString SettingsPathFor(const TMainOptions& options);

  store::TMemTable& Table() { return vtblProblem_; }
  calc::Results& Results() { return results_; }
  calc::Engine& Engine() { return *engine_; }
  TDialogs& Dialogs() { return dialogs_; }
  // Live mode: the check box beside Run, and how many previews it has drawn.
  QCheckBox* chbLive() const { return chbLive_; }
  int LivePreviews() const { return livePreviews_; }
  // The grid of the last live preview (points in X and in Y).
  std::pair<int, int> LivePreviewGridUsed() const { return livePreviewGrid_; }
  // The time from the last edit to the preview's computation, and the preview's grid.
  static constexpr int kLiveDebounce = 40;
  static constexpr int kLivePreviewPoints = 200;
  // What a preview's sweep may take, so that it is shown about 150 ms after the last edit, and
  // the fewest points each way a slow problem's preview is cut down to.
  static constexpr double kLivePreviewSeconds = 0.05;
  static constexpr int kLivePreviewLeast = 20;
  // The grid of a live preview of a problem on `xpoints` x `ypoints`: at most kLivePreviewPoints
  // each way; fewer, alike in both directions, where `secondsPerPoint` (of an earlier sweep of
  // the problem) says it would take longer than kLivePreviewSeconds; the least when it is 0
  // (not measured yet).
  static std::pair<int, int> LivePreviewGrid(int xpoints, int ypoints, double secondsPerPoint);

  // Controls, for the result windows and the tests.
  TStripeGrid* StripeGrid1() const { return grid_; }
  TWorkingChart* Chart1() const { return chart_; }
  QPlainTextEdit* memFunctions() const { return memFunctions_; }
  QComboBox* dbcbY() const { return dbcbY_; }
  QLabel* lblZ() const { return lblZ_; }
  QLineEdit* DBEdit1() const { return edYmin_; }
  QLineEdit* DBEdit2() const { return edYmax_; }
  QLineEdit* DBEdit3() const { return edYPoints_; }
  QLineEdit* DBEdit4() const { return edXPoints_; }
  QLineEdit* DBEdit5() const { return edZvalue_; }
  QCheckBox* chbStep() const { return chbStep_; }
  QCheckBox* chbSave() const { return chbSave_; }
  QCheckBox* chbShowMosaic() const { return chbShowMosaic_; }
  QCheckBox* chbShowChart() const { return chbShowChart_; }
  QCheckBox* chbRefine() const { return chbRefine_; }
  QPushButton* sbRun() const { return sbRun_; }
  QPushButton* sbDiagram() const { return sbDiagram_; }
  QPushButton* sbEditChart() const { return sbEditChart_; }
  QPushButton* sbSpecialPoints() const { return sbSpecialPoints_; }
  QPushButton* sbGrid() const { return sbGrid_; }
  QPushButton* btnClose() const { return btnClose_; }
  QToolButton* NavInsert() const { return navInsert_; }
  QToolButton* NavDelete() const { return navDelete_; }
  QToolButton* NavCancel() const { return navCancel_; }
  QLabel* StatusPanel(int i) const { return i == 0 ? status0_ : status1_; }
  QMenu* MenuFile() const { return menuFile_; }
  // A command that can change the current problem or the database: it is disabled while a
  // sweep runs and enabled again when the run command ends, however it ends.
  void LockDuringSweep(QAction* command);
  QAction* ActOpen() const { return actOpen_; }
  QAction* ActCreate() const { return actCreate_; }
  QAction* ActClose() const { return actClose_; }
  QAction* ActMosaicColor() const { return actColor_; }
  QAction* ActAbout() const { return actAbout_; }
  QAction* ActCellGrid() const { return actCellGrid_; }
  QAction* ActImportTdb() const { return actImportTdb_; }
  QAction* ActExportDiagram() const { return actExportDiagram_; }

  // calc::RunHost: the record as posted, the run's settings from the window, and a complete
  // sweep's diagram.
  std::optional<calc::ProblemInput> CurrentProblem() override;
  calc::RunSettings Settings() override;
  void SweepCompleted() override;

  // The decimal separator of the open table, used for every number written as text.
  char DecimalSeparator();

 signals:
  // The window was closed: the program ends.
  void Closed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  // The window's controls, built in the order the Tab key visits them.
  void BuildUi();
  void SetUpWindow();
  void BuildMenus();
  void BuildResultsMenu();
  void BuildLanguageMenu();
  // Keeps the chosen interface language ("ru" or "en") in the settings file.
  // Takes the export dialog's values from the settings file and has them written back there.
  void ReadExportChoices();
  void ChooseLanguage(const std::string& language);
  QWidget* BuildProblemList(QWidget* parent);
  QHBoxLayout* BuildNavigator(QWidget* parent);
  QWidget* BuildChartAndSheet(QWidget* parent);
  QWidget* BuildBottomPanel(QWidget* parent);
  QGridLayout* BuildCommandButtons(QWidget* parent);
  QGroupBox* BuildYAxisBox(QWidget* parent);
  QGroupBox* BuildPointCountBox(QWidget* parent);
  QVBoxLayout* BuildDisplayAndClose(QWidget* parent);
  void BuildStatusBar();
  void ConnectCommands();
  void BindTable();
  // Runs a command: an error that nobody handled is shown in a message box; a silent abort is
  // dropped.
  template <typename F>
  void Command(F&& f);
  void ShowError(const std::exception& e);

  // Editing rules.
  void vtblProblemAfterInsert();
  void vtblProblemBeforePost();
  void vtblProblemAfterPost();
  void vtblProblemAfterScroll();
  void dbcbYChange();
  void ShowWorkingChart(bool on);
  // What the window does around a run and its levels.
  void SetStatusText(const std::string& text);
  calc::ProblemInput ProblemOnScreen();
  void FocusZValue();
  void SetCaptions(const std::string& problem_name);
  void HideMosaicWindow();
  void ShowMosaicWindow(bool keep_main_in_front);
  void SetProblemListEnabled(bool enabled);
  void EnableResultCommands();
  void BuildDiagram();
  void ShowSpecialPoints();
  // The navigator's buttons follow the table's state and the sweep.
  void UpdateNavigator();
  // Disables (busy) or enables again every command that could change the problem under a
  // running sweep.
  // Locks what a sweep must not see change; a live run leaves the problem editable (an edit
  // starts the next one).
  void SetSweepBusy(bool busy, bool problemEditable = false);
  void SetProblemReadOnly(bool readOnly);

  // Posts the record if it is being edited or inserted; false when its checks refused.
  bool PostIfEditing();
  // The saving before a database switch; false when a refused post ends the command.
  bool SaveBeforeSwitch();
  // Saves the database if a problem was posted or deleted. When another program (a second
  // instance) has written the file since this window read or wrote it, asks first; No keeps
  // that program's file.
  void SaveDatabase();
  // Remembers the database file as this window last read or wrote it.
  void RememberDatabaseFile();
  void OpenWorkingTable();
  void RunCheckProblem();
  void SetDatabaseCaption(const QString& caption);
  void ShowRunEnd();
  // The levels of a run, computed on a thread of their own while this window stays live; returns
  // when the sweep has ended (completed, stopped, or by an error, which the run then shows).
  // The levels on a worker thread, the window live meanwhile; the error the sweep ended with.
  // With `specialPointsAhead` (the Y parameter's text), the special points of a complete sweep
  // are found there too.
  std::exception_ptr SweepOnWorker(const std::string* specialPointsAhead = nullptr);
  // Shows what the sweep's thread has posted since the last call: the status line, the working
  // chart, the mosaic, messages. Called by name from the sweep's thread: the queued call is
  // then made wholly inside Qt, whose hand-over between threads ThreadSanitizer cannot see and
  // is told to leave alone (tests/tsan_qt.supp).
  Q_INVOKABLE void ShowPostedLevels();

  TMainOptions options_;
  store::TMemTable vtblProblem_;
  TDialogs dialogs_;
  // The engine's messages: the dialogs, or while a live run computes, kept for the diagram's note
  // (a sheet being typed is often wrong for a moment; no box should jump at the user).
  class EngineMessages : public calc::MessagePort {
   public:
    explicit EngineMessages(TDialogs& dialogs) : dialogs_(dialogs) {}
    calc::DialogButton MessageDlg(const std::string& text, calc::DialogType type,
                                  const std::vector<calc::DialogButton>& buttons) override;
    void ShowMessage(const std::string& text) override;
    bool quiet = false;
    std::string first;  // the first message while quiet

   private:
    TDialogs& dialogs_;
  } engineMessages_{dialogs_};
  QCheckBox* chbLive_ = nullptr;
  QTimer liveTimer_;
  bool livePreview_ = false;  // the run under way is a live preview (a coarser grid)
  bool liveRun_ = false;      // the run under way is live (the problem on screen, unposted)
  bool liveEdited_ = false;   // an edit came during a live run
  bool liveFollows_ = false;  // a recompute waits for the live run under way to unwind
  bool liveWholeFollows_ = false;  // the preview is coarser: the whole grid follows it
  // The run under way is a live preview with the whole grid to follow, which draws the working
  // chart.
  bool LiveChartLeft() const { return livePreview_ && liveWholeFollows_; }
  int livePreviews_ = 0;
  std::pair<int, int> livePreviewGrid_{kLivePreviewPoints, kLivePreviewPoints};
  // The wall time per grid point (a composition on a level) of the last complete live preview,
  // and the problem it was of: the next preview's grid is chosen by it.
  double liveSecondsPerPoint_ = 0;
  std::string liveCostOf_;
  // An edit of the problem in live mode: the recompute waits for the typing to pause.
  void LiveEdited();
  // The preview and then the full grid of the problem on screen, in the background.
  void LiveRecompute();
  // One live run; false when it failed (the diagram is marked stale) or was overtaken by edits.
  bool LiveSweep(bool preview);
  calc::Results results_;
  std::unique_ptr<calc::Engine> engine_;
  TDataBinding* binding_ = nullptr;
  std::unique_ptr<store::TDataLink> stateLink_;
  TResultWindows* windows_ = nullptr;
  TfmAbout* about_ = nullptr;

  std::string workingFileName_ = "Problems.d";
  bool tableModified_ = false;
  std::int32_t mosaicColor_;
  bool settingsWriteReported_ = false;
  mutable QString settingsPath_;  // found at start-up
  // Size and time of change of the database file when this window last read or wrote it.
  std::pair<qint64, qint64> databaseStamp_{-1, 0};
  // The sweep lock: the locked commands, whether a run command is computing, the problem
  // list's state as the engine last set it.
  std::vector<QAction*> sweepLocked_;
  bool sweepBusy_ = false;
  bool listEnabled_ = true;
  // The window was asked to close during a run: the sweep stops at its next pause, and the
  // close goes on once the run command has ended.
  bool closeRequested_ = false;
  // The levels posted by a sweep on its thread, the thread, and the error it ended with.
  calc::LevelMailbox mailbox_;
  std::thread sweepThread_;
  std::exception_ptr sweepError_;

  // Controls.
  QSplitter* splitter_ = nullptr;
  QSplitter* rightSplitter_ = nullptr;
  TStripeGrid* grid_ = nullptr;
  QToolButton* navInsert_ = nullptr;
  QToolButton* navDelete_ = nullptr;
  QToolButton* navCancel_ = nullptr;
  TWorkingChart* chart_ = nullptr;
  QPlainTextEdit* memFunctions_ = nullptr;
  QPushButton* sbRun_ = nullptr;
  QCheckBox* chbStep_ = nullptr;
  QPushButton* sbDiagram_ = nullptr;
  QPushButton* sbEditChart_ = nullptr;
  QLabel* lblZ_ = nullptr;
  QLineEdit* edZvalue_ = nullptr;
  QPushButton* sbSpecialPoints_ = nullptr;
  QPushButton* sbGrid_ = nullptr;
  QComboBox* dbcbY_ = nullptr;
  QLineEdit* edYmin_ = nullptr;
  QLineEdit* edYmax_ = nullptr;
  QLineEdit* edXPoints_ = nullptr;
  QLineEdit* edYPoints_ = nullptr;
  QCheckBox* chbShowMosaic_ = nullptr;
  QCheckBox* chbShowChart_ = nullptr;
  QCheckBox* chbSave_ = nullptr;
  QCheckBox* chbRefine_ = nullptr;
  QPushButton* btnClose_ = nullptr;
  QLabel* status0_ = nullptr;
  QLabel* status1_ = nullptr;
  QMenu* menuFile_ = nullptr;
  QAction* actOpen_ = nullptr;
  QAction* actCreate_ = nullptr;
  QAction* actClose_ = nullptr;
  QAction* actColor_ = nullptr;
  QAction* actAbout_ = nullptr;
  QAction* actCellGrid_ = nullptr;
  QAction* actImportTdb_ = nullptr;
  QAction* actExportDiagram_ = nullptr;
};

}  // namespace app
