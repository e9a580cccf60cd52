#include "framework/dialogs.h"

#include "framework/qt_dialogs.h"

namespace {

std::unique_ptr<Dialogs>& Installed() {
  static std::unique_ptr<Dialogs> dialogs;
  return dialogs;
}

}  // namespace

Dialogs& CurrentDialogs() {
  std::unique_ptr<Dialogs>& d = Installed();
  if (!d) d = std::make_unique<QtDialogs>();
  return *d;
}

std::unique_ptr<Dialogs> InstallDialogs(std::unique_ptr<Dialogs> dialogs) {
  std::unique_ptr<Dialogs> previous = std::move(Installed());
  Installed() = std::move(dialogs);
  return previous;
}

FolderItemPtr GetOpenFolderItem(const QString& fileType) {
  return CurrentDialogs().GetOpenFolderItem(fileType);
}

FolderItemPtr GetSaveFolderItem(const QString& fileType, const QString& defaultName) {
  return CurrentDialogs().GetSaveFolderItem(fileType, defaultName);
}

void MsgBox(const QString& text) { CurrentDialogs().MsgBox(text); }

bool SelectColor(Color& color, const QString& prompt) {
  return CurrentDialogs().SelectColor(color, prompt);
}

FolderItemPtr SelectFolderDialog::ShowModal() {
  return CurrentDialogs().SelectFolder(ActionButtonCaption, Title, PromptText);
}
