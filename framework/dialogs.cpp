#include "framework/dialogs.h"

#include <QDir>
#include <QFileInfo>

#include "framework/qt_dialogs.h"

namespace {

std::unique_ptr<Dialogs>& Installed() {
  static std::unique_ptr<Dialogs> dialogs;
  return dialogs;
}

}  // namespace

Dialogs::Stamp Dialogs::StampOf(const QString& path) {
  const QFileInfo info(path);
  if (!info.exists()) return {};
  return {true, info.lastModified(), info.metadataChangeTime(), info.isDir() ? -1 : info.size()};
}

QString Dialogs::StartFolder() {
  if (pending_) {
    const Choice& c = *pending_;
    const QFileInfo now(c.path);
    bool worked = false;
    switch (c.kind) {
      case Choice::Open:
        worked = now.isFile() && now.isReadable() && now.size() > 0;
        break;
      case Choice::Save:
        worked = now.isFile() && StampOf(c.path) != c.before;
        break;
      case Choice::Folder:
        worked = now.isDir() && StampOf(c.path) != c.before;
        break;
    }
    if (worked) lastGoodFolder_ = c.kind == Choice::Folder ? now.absoluteFilePath() : now.absolutePath();
    pending_.reset();
  }
  if (!lastGoodFolder_.isEmpty() && QFileInfo(lastGoodFolder_).isDir()) return lastGoodFolder_;
  return QDir::homePath();
}

FolderItemPtr Dialogs::Remember(Choice::Kind kind, FolderItemPtr chosen) {
  if (chosen) pending_ = Choice{kind, chosen->AbsolutePath(), StampOf(chosen->AbsolutePath())};
  return chosen;
}

FolderItemPtr Dialogs::GetOpenFolderItem(const QString& fileType) {
  return Remember(Choice::Open, ChooseFileToOpen(fileType, StartFolder()));
}

FolderItemPtr Dialogs::GetSaveFolderItem(const QString& fileType, const QString& defaultName) {
  return Remember(Choice::Save, ChooseFileToSave(fileType, defaultName, StartFolder()));
}

FolderItemPtr Dialogs::GetSaveFolderItemOfType(const std::vector<FileTypeChoice>& types, const QString& defaultName,
                                               int* type) {
  return Remember(Choice::Save, ChooseFileToSaveOfType(types, defaultName, StartFolder(), type));
}

int FileTypeOfName(const std::vector<FileTypeChoice>& types, const QString& name) {
  const QString suffix = QFileInfo(name).suffix().toLower();
  for (size_t i = 0; i < types.size(); ++i)
    if (!suffix.isEmpty() && types[i].extensions.contains(suffix)) return int(i);
  return -1;
}

FolderItemPtr Dialogs::SelectFolder(const QString& actionButtonCaption, const QString& title,
                                    const QString& promptText) {
  return Remember(Choice::Folder, ChooseFolder(actionButtonCaption, title, promptText, StartFolder()));
}

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
