#pragma once
#include <functional>

#include "framework/dialogs.h"

// The real dialogs, on Qt's file, colour and message dialogs.
class QtDialogs : public Dialogs {
 public:
  // The compression dialog offers what the movie layer can write, so that
  // layer hands it in; without one the dialog counts as cancelled.
  explicit QtDialogs(std::function<bool(CompressionSettings&)> compressionDialog = nullptr);
  FolderItemPtr GetOpenFolderItem(const QString& fileType) override;
  FolderItemPtr GetSaveFolderItem(const QString& fileType, const QString& defaultName) override;
  FolderItemPtr SelectFolder(const QString& actionButtonCaption, const QString& title,
                             const QString& promptText) override;
  bool SelectColor(Color& color, const QString& prompt) override;
  void MsgBox(const QString& text) override;
  bool SelectCompressionSettings(CompressionSettings& settings) override;

 private:
  std::function<bool(CompressionSettings&)> compressionDialog_;
};
