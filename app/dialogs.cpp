#include "app/dialogs.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "app/colors.h"

namespace app {

namespace {

DialogHook& Hook() {
  static DialogHook hook;
  return hook;
}

QString Q(const std::string& s) { return QString::fromStdString(s); }

QMessageBox::StandardButton ToQt(calc::DialogButton b) {
  switch (b) {
    case calc::DialogButton::OK: return QMessageBox::Ok;
    case calc::DialogButton::Yes: return QMessageBox::Yes;
    case calc::DialogButton::No: return QMessageBox::No;
    case calc::DialogButton::Cancel: return QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

calc::DialogButton FromQt(int b) {
  switch (b) {
    case QMessageBox::Yes: return calc::DialogButton::Yes;
    case QMessageBox::No: return calc::DialogButton::No;
    case QMessageBox::Cancel: return calc::DialogButton::Cancel;
    default: return calc::DialogButton::OK;
  }
}

}  // namespace

void TDialogs::SetTestHook(DialogHook hook) { Hook() = std::move(hook); }
bool TDialogs::HasTestHook() { return static_cast<bool>(Hook()); }

calc::DialogButton TDialogs::MessageDlg(const std::string& text, calc::DialogType type,
                                        const std::vector<calc::DialogButton>& buttons) {
  if (Hook()) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::Message;
    r.text = text;
    r.type = type;
    r.buttons = buttons;
    return Hook()(r).button;
  }
  QMessageBox box(parent_);
  QString title;
  switch (type) {
    case calc::DialogType::Warning:
      box.setIcon(QMessageBox::Warning);
      title = "Warning";
      break;
    case calc::DialogType::Error:
      box.setIcon(QMessageBox::Critical);
      title = "Error";
      break;
    case calc::DialogType::Information:
      box.setIcon(QMessageBox::Information);
      title = "Information";
      break;
    case calc::DialogType::Confirmation:
      box.setIcon(QMessageBox::Question);
      title = "Confirm";
      break;
  }
  box.setWindowTitle(title);
  box.setText(Q(text));
  QMessageBox::StandardButtons set;
  for (auto b : buttons) set |= ToQt(b);
  if (buttons.empty()) set = QMessageBox::Ok;
  box.setStandardButtons(set);
  return FromQt(box.exec());
}

void TDialogs::ShowMessage(const std::string& text) {
  if (Hook()) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::ShowMessage;
    r.text = text;
    r.buttons = {calc::DialogButton::OK};
    Hook()(r);
    return;
  }
  QMessageBox box(parent_);
  box.setWindowTitle("Brelona");
  box.setText(Q(text));
  box.setStandardButtons(QMessageBox::Ok);
  box.exec();
}

std::optional<std::string> TDialogs::InputQuery(const std::string& caption,
                                                const std::string& prompt,
                                                const std::string& initial) {
  if (Hook()) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::InputBox;
    r.caption = caption;
    r.text = prompt;
    r.initial = initial;
    const DialogAnswer a = Hook()(r);
    if (!a.accepted) return std::nullopt;
    return a.text;
  }
  QInputDialog dialog(parent_);
  dialog.setWindowTitle(Q(caption));
  dialog.setLabelText(Q(prompt));
  dialog.setTextValue(Q(initial));
  // The text is not selected: the cursor stands before its extension, so what is typed goes in
  // front of a proposed ".d" instead of replacing it.
  if (auto* edit = dialog.findChild<QLineEdit*>()) {
    QMetaObject::invokeMethod(
        edit,
        [edit] {
          const qsizetype dot = edit->text().lastIndexOf(QLatin1Char('.'));
          edit->deselect();
          edit->setCursorPosition(static_cast<int>(dot >= 0 ? dot : edit->text().size()));
        },
        Qt::QueuedConnection);
  }
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.textValue().toStdString();
}

std::optional<std::string> TDialogs::OpenDatabase() {
  if (Hook()) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::OpenFile;
    r.caption = kDatabaseFilter;
    const DialogAnswer a = Hook()(r);
    if (!a.accepted) return std::nullopt;
    return a.text;
  }
  QFileDialog dlg(parent_);
  dlg.setFileMode(QFileDialog::ExistingFile);
  dlg.setNameFilter("Thermodynamic properties (*.d)");
  dlg.setDefaultSuffix("d");
  dlg.setOption(QFileDialog::ReadOnly, false);
  dlg.setSizeGripEnabled(true);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return QFileInfo(dlg.selectedFiles().front()).absoluteFilePath().toStdString();
}

std::optional<std::int32_t> TDialogs::ChooseColor(std::int32_t current) {
  if (Hook()) {
    DialogRequest r;
    r.kind = DialogRequest::Kind::Color;
    r.color = current;
    const DialogAnswer a = Hook()(r);
    if (!a.accepted) return std::nullopt;
    return a.color;
  }
  // The first custom colour is a light green (A4D9A5 as a colour value).
  QColorDialog::setCustomColor(0, ColorFromValue(0xA4D9A5));
  QColorDialog dlg(ColorFromValue(current), parent_);
  dlg.setOption(QColorDialog::ShowAlphaChannel, false);
  if (dlg.exec() != QDialog::Accepted) return std::nullopt;
  return ValueFromColor(dlg.selectedColor());
}

}  // namespace app
