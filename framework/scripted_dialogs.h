#pragma once
// A dialog layer that answers from a script, for tests. Each call takes the
// next answer of its kind; with none left it behaves as a cancel. Every call
// is recorded so a test can check what was asked.
#include <QString>
#include <QStringList>
#include <deque>
#include <optional>

#include "framework/dialogs.h"

class ScriptedDialogs : public Dialogs {
 public:
  std::deque<FolderItemPtr> openAnswers;    // nullptr: cancel
  std::deque<FolderItemPtr> saveAnswers;    // nullptr: cancel
  std::deque<FolderItemPtr> folderAnswers;  // nullptr: cancel
  std::deque<std::optional<Color>> colorAnswers;                  // nullopt: cancel
  std::deque<std::optional<CompressionSettings>> compressionAnswers;  // nullopt: cancel
  // The export options dialog: nullopt accepts what it offers (its default
  // button), an ExportOptions answers with that choice; none left: cancel.
  std::deque<std::optional<ExportOptions>> exportOptionsAnswers;

  QStringList log;       // one line per call: "open text", "save video/quicktime movie.mov", ...
  QStringList messages;  // texts of the message boxes
  QStringList startFolders;  // where each file or folder dialog would have opened

  bool SelectColor(Color& color, const QString& prompt) override;
  void MsgBox(const QString& text) override;
  bool SelectCompressionSettings(CompressionSettings& settings) override;
  bool SelectExportOptions(const QString& title, ExportOptions& options) override;

 protected:
  FolderItemPtr ChooseFileToOpen(const QString& fileType, const QString& startFolder) override;
  FolderItemPtr ChooseFileToSave(const QString& fileType, const QString& defaultName,
                                 const QString& startFolder) override;
  FolderItemPtr ChooseFolder(const QString& actionButtonCaption, const QString& title,
                             const QString& promptText, const QString& startFolder) override;
  // Answers from saveAnswers; the type is the one of the answer's extension,
  // as the real dialog makes it.
  FolderItemPtr ChooseFileToSaveOfType(const std::vector<FileTypeChoice>& types, const QString& defaultName,
                                       const QString& startFolder, int* type) override;
};
