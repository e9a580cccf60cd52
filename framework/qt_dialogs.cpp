#include "framework/qt_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>

#include "framework/filetypes.h"

namespace {

// The folder the user last chose a file in, for the next dialog to start in.
QString& LastFolder() {
  static QString folder;
  return folder;
}

QString StartFolder() {
  const QString& last = LastFolder();
  if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
  return QDir::homePath();
}

void Remember(const QString& chosenFile) {
  if (!chosenFile.isEmpty()) LastFolder() = QFileInfo(chosenFile).absolutePath();
}

QWidget* DialogParent() { return QApplication::activeWindow(); }

}  // namespace

FolderItemPtr QtDialogs::GetOpenFolderItem(const QString& fileType) {
  const QString path = QFileDialog::getOpenFileName(DialogParent(), QObject::tr("Open"), StartFolder(),
                                                    NameFiltersFor(fileType).join(QStringLiteral(";;")));
  if (path.isEmpty()) return nullptr;
  Remember(path);
  return GetFolderItem(QFileInfo(path).absoluteFilePath());
}

FolderItemPtr QtDialogs::GetSaveFolderItem(const QString& fileType, const QString& defaultName) {
  // Like any desktop save dialog it asks before an existing file is
  // replaced; the program then deletes or overwrites it. A bare name gets
  // the default name's extension.
  QFileDialog dialog(DialogParent(), QObject::tr("Save"), StartFolder());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(NameFiltersFor(fileType));
  const QString suffix = QFileInfo(defaultName).suffix();
  if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
  dialog.selectFile(defaultName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return nullptr;
  const QString path = dialog.selectedFiles().first();
  if (path.isEmpty()) return nullptr;
  Remember(path);
  return GetFolderItem(QFileInfo(path).absoluteFilePath());
}

FolderItemPtr QtDialogs::SelectFolder(const QString& actionButtonCaption, const QString& title,
                                      const QString& promptText) {
  QFileDialog dialog(DialogParent(), title.isEmpty() ? promptText : title, StartFolder());
  // Qt's own dialog, so the captions below are shown.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  if (!actionButtonCaption.isEmpty()) dialog.setLabelText(QFileDialog::Accept, actionButtonCaption);
  if (!promptText.isEmpty()) {
    if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
      auto* prompt = new QLabel(promptText, &dialog);
      prompt->setObjectName(QStringLiteral("promptLabel"));
      prompt->setWordWrap(true);
      grid->addWidget(prompt, grid->rowCount(), 0, 1, grid->columnCount());
    } else {
      dialog.setToolTip(promptText);
    }
  }
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty()) return nullptr;
  LastFolder() = QFileInfo(chosen.first()).absoluteFilePath();
  return GetFolderItem(QFileInfo(chosen.first()).absoluteFilePath());
}

bool QtDialogs::SelectColor(Color& color, const QString& prompt) {
  const QColor chosen = QColorDialog::getColor(QColor::fromRgb(QRgb(color | 0xFF000000u)), DialogParent(),
                                               prompt);
  if (!chosen.isValid()) return false;
  color = Color(chosen.rgb() & 0xFFFFFFu);
  return true;
}

void QtDialogs::MsgBox(const QString& text) {
  QMessageBox box(QMessageBox::NoIcon, QApplication::applicationDisplayName(), text, QMessageBox::Ok,
                  DialogParent());
  box.exec();
}

QtDialogs::QtDialogs(std::function<bool(CompressionSettings&)> compressionDialog)
    : compressionDialog_(std::move(compressionDialog)) {}

bool QtDialogs::SelectCompressionSettings(CompressionSettings& settings) {
  return compressionDialog_ && compressionDialog_(settings);
}
