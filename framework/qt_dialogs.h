#pragma once
#include <functional>
#include <memory>

#include "framework/dialogs.h"

class QFileDialog;
class QAbstractFileIconProvider;

// The real dialogs, on Qt's file, colour and message dialogs.
class QtDialogs : public Dialogs {
 public:
  // The compression dialog offers what the movie layer can write, so that
  // layer hands it in; without one the dialog counts as cancelled.
  explicit QtDialogs(std::function<bool(CompressionSettings&)> compressionDialog = nullptr);
  ~QtDialogs() override;
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
  FolderItemPtr ChooseFileToSaveOfType(const std::vector<FileTypeChoice>& types, const QString& defaultName,
                                       const QString& startFolder, int* type) override;

 private:
  // Sets up a file dialog so that listing a folder never reads its files.
  void ListWithoutReading(QFileDialog& dialog);

  std::function<bool(CompressionSettings&)> compressionDialog_;
  // Shared by the file dialogs, which hold it without owning it.
  std::unique_ptr<QAbstractFileIconProvider> icons_;
};
