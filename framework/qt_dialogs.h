#pragma once
#include "framework/dialogs.h"

// The real dialogs, on Qt's file, colour and message dialogs.
class QtDialogs : public Dialogs {
 public:
  FolderItemPtr GetOpenFolderItem(const QString& fileType) override;
  FolderItemPtr GetSaveFolderItem(const QString& fileType, const QString& defaultName) override;
  FolderItemPtr SelectFolder(const QString& actionButtonCaption, const QString& title,
                             const QString& promptText) override;
  bool SelectColor(Color& color, const QString& prompt) override;
  void MsgBox(const QString& text) override;
  bool SelectCompressionSettings(CompressionSettings& settings) override;
};
