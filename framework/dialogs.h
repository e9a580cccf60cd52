#pragma once
// Every dialog the program shows goes through this one interface. The program
// installs the Qt implementation; tests install a scripted one.
#include <QString>
#include <memory>

#include "framework/folderitem.h"
#include "framework/picture.h"

// What the compression dialog chooses for a video track.
struct CompressionSettings {
  QString type = "raw ";  // four-character code: "raw ", "rle ", "png ", "jpeg", "avc1"
  int depth = 24;
  double quality = 100.0;  // 0 to 100
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // File type names: "text", "special/any", "video/quicktime" (see filetypes.h).
  virtual FolderItemPtr GetOpenFolderItem(const QString& fileType) = 0;
  virtual FolderItemPtr GetSaveFolderItem(const QString& fileType, const QString& defaultName) = 0;
  virtual FolderItemPtr SelectFolder(const QString& actionButtonCaption, const QString& title,
                                     const QString& promptText) = 0;
  // True when the user confirmed a colour, which is then left in color.
  virtual bool SelectColor(Color& color, const QString& prompt) = 0;
  virtual void MsgBox(const QString& text) = 0;
  // True when confirmed; settings then hold the choice. Cancel leaves them.
  virtual bool SelectCompressionSettings(CompressionSettings& settings) = 0;
};

Dialogs& CurrentDialogs();
// Installs a dialog layer; returns the previous one.
std::unique_ptr<Dialogs> InstallDialogs(std::unique_ptr<Dialogs> dialogs);

// Shorthands the program calls.
FolderItemPtr GetOpenFolderItem(const QString& fileType);
FolderItemPtr GetSaveFolderItem(const QString& fileType, const QString& defaultName);
void MsgBox(const QString& text);
bool SelectColor(Color& color, const QString& prompt);

// The folder chooser with its captions, as the program sets them up.
class SelectFolderDialog {
 public:
  QString ActionButtonCaption;
  QString Title;
  QString PromptText;
  FolderItemPtr ShowModal();
};
