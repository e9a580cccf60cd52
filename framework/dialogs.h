#pragma once
// Every dialog the program shows goes through this one interface. The program
// installs the Qt implementation; tests install a scripted one.
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

#include "framework/folderitem.h"
#include "framework/picture.h"

// What the compression dialog chooses for a video track.
struct CompressionSettings {
  QString type = "raw ";  // four-character code: "raw ", "rle ", "png ", "jpeg", "avc1"
  int depth = 24;
  double quality = 100.0;  // 0 to 100
};

// One file type of a save dialog that offers several: its name and its
// extensions (without the dot, the usual one first).
struct FileTypeChoice {
  QString label;
  QStringList extensions;
};

// The options of an export format that the export options dialog offers
// (those it offers), and what it chose. The defaults are the best choice.
struct ExportOptions {
  bool offersLoop = false, offersQuality = false, offersLossless = false;
  bool loopForever = true;
  int quality = -1;         // -1: the format's own default
  int shownQuality = 75;    // what the quality field shows while it is the default
  bool lossless = false;
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // File type names: "text", "special/any", "video/quicktime" (see filetypes.h).
  // The file and folder dialogs open in StartFolder().
  FolderItemPtr GetOpenFolderItem(const QString& fileType);
  FolderItemPtr GetSaveFolderItem(const QString& fileType, const QString& defaultName);
  // A save dialog offering several file types: the type follows the
  // extension typed, and the extension the type chosen. *type receives the
  // index of the file's type.
  FolderItemPtr GetSaveFolderItemOfType(const std::vector<FileTypeChoice>& types, const QString& defaultName,
                                        int* type);
  FolderItemPtr SelectFolder(const QString& actionButtonCaption, const QString& title,
                             const QString& promptText);
  // True when the user confirmed a colour, which is then left in color.
  virtual bool SelectColor(Color& color, const QString& prompt) = 0;
  virtual void MsgBox(const QString& text) = 0;
  // True when confirmed; settings then hold the choice. Cancel leaves them.
  virtual bool SelectCompressionSettings(CompressionSettings& settings) = 0;
  // The export options of a format (named by title); true when confirmed,
  // options then hold the choice. Cancel leaves them.
  virtual bool SelectExportOptions(const QString& title, ExportOptions& options) = 0;

  // Where the next file or folder dialog opens: where the last choice that
  // worked was made, else the home folder. A choice has worked when the file
  // chosen to save was written after it was chosen, the folder chosen was
  // written into after it was chosen, or the file chosen to open is a
  // readable file with something in it. Whatever failed there (a folder that
  // refuses files, a special file under /proc) is never offered again.
  QString StartFolder();

 protected:
  // The dialogs themselves, opening in startFolder; nil when cancelled.
  virtual FolderItemPtr ChooseFileToOpen(const QString& fileType, const QString& startFolder) = 0;
  virtual FolderItemPtr ChooseFileToSave(const QString& fileType, const QString& defaultName,
                                         const QString& startFolder) = 0;
  virtual FolderItemPtr ChooseFolder(const QString& actionButtonCaption, const QString& title,
                                     const QString& promptText, const QString& startFolder) = 0;
  virtual FolderItemPtr ChooseFileToSaveOfType(const std::vector<FileTypeChoice>& types, const QString& defaultName,
                                               const QString& startFolder, int* type) = 0;

 private:
  // A file or folder as it stood on disk.
  struct Stamp {
    bool exists = false;
    QDateTime modified, changed;
    qint64 size = -1;
    bool operator==(const Stamp&) const = default;
  };
  static Stamp StampOf(const QString& path);

  // The latest choice, until the next dialog looks at whether it worked.
  struct Choice {
    enum Kind { Open, Save, Folder } kind;
    QString path;
    Stamp before;
  };
  FolderItemPtr Remember(Choice::Kind kind, FolderItemPtr chosen);

  std::optional<Choice> pending_;
  QString lastGoodFolder_;
};

// The index of the type whose extensions hold the name's extension; -1 for none.
int FileTypeOfName(const std::vector<FileTypeChoice>& types, const QString& name);

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
