#pragma once
// Every dialog the program shows to the user goes through TDialogs: message dialogs and the plain
// message box (the calculation's message port), the input box, the open-file dialog and the
// colour dialog. Tests install a hook that answers each request instead of a modal dialog and
// can record what was asked.

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "calc/ports.h"

class QWidget;

namespace app {

struct DialogRequest {
  enum class Kind { Message, ShowMessage, InputBox, OpenFile, Color };
  Kind kind = Kind::Message;
  std::string text;  // the message, or the input box's prompt
  calc::DialogType type = calc::DialogType::Information;
  std::vector<calc::DialogButton> buttons;
  std::string caption;  // input box caption, open dialog filter
  std::string initial;  // input box initial text
  std::int32_t color = 0;  // colour dialog: the preselected colour value
};

struct DialogAnswer {
  calc::DialogButton button = calc::DialogButton::OK;  // message dialogs
  bool accepted = true;  // input box, open dialog, colour dialog: OK (true) or Cancel
  std::string text;  // input box text, chosen file
  std::int32_t color = 0;  // chosen colour value
};

using DialogHook = std::function<DialogAnswer(const DialogRequest&)>;

// The filter of the database open dialog.
inline constexpr const char* kDatabaseFilter = "Thermodynamic properties (*.d)|*.d";

class TDialogs : public calc::MessagePort {
 public:
  explicit TDialogs(QWidget* parent) : parent_(parent) {}

  calc::DialogButton MessageDlg(const std::string& text, calc::DialogType type,
                                const std::vector<calc::DialogButton>& buttons) override;
  void ShowMessage(const std::string& text) override;

  // The input box: the entered text on OK, nullopt on Cancel.
  std::optional<std::string> InputQuery(const std::string& caption, const std::string& prompt,
                                        const std::string& initial);
  // The database open dialog (existing folder and file only, resizable, read-only option
  // hidden): the chosen file's full path, or nullopt on Cancel.
  std::optional<std::string> OpenDatabase();
  // The colour dialog with `current` preselected; nullopt on Cancel.
  std::optional<std::int32_t> ChooseColor(std::int32_t current);

  // Installs the test hook (an empty function restores the real dialogs).
  static void SetTestHook(DialogHook hook);
  static bool HasTestHook();

 private:
  QWidget* parent_;
};

}  // namespace app
