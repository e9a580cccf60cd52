#include "framework/qt_dialogs.h"

#include <QApplication>
#include <algorithm>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeDatabase>
#include <QPushButton>
#include <QSpinBox>

#include "framework/filetypes.h"

namespace {

// Icons and type names taken from a file's name alone. Qt's own provider asks
// the MIME database, which reads a file whose name does not tell its type; a
// special file such as /proc/kmsg keeps that read waiting, and the dialog
// with it. Folders keep Qt's icons.
class IconsByName : public QFileIconProvider {
 public:
  QIcon icon(const QFileInfo& info) const override {
    if (info.isDir()) return QFileIconProvider::icon(info);
    const QIcon themed = QIcon::fromTheme(TypeOf(info).iconName());
    return themed.isNull() ? QFileIconProvider::icon(QFileIconProvider::File) : themed;
  }
  QString type(const QFileInfo& info) const override {
    if (info.isDir()) return QFileIconProvider::type(info);
    const QMimeType mime = TypeOf(info);
    return mime.comment().isEmpty() ? mime.name() : mime.comment();
  }

 private:
  QMimeType TypeOf(const QFileInfo& info) const {
    return mimeTypes_.mimeTypeForFile(info, QMimeDatabase::MatchExtension);
  }
  QMimeDatabase mimeTypes_;
};

QWidget* DialogParent() { return QApplication::activeWindow(); }

FolderItemPtr Chosen(const QFileDialog& dialog) {
  const QStringList chosen = dialog.selectedFiles();
  if (chosen.isEmpty() || chosen.first().isEmpty()) return nullptr;
  return GetFolderItem(QFileInfo(chosen.first()).absoluteFilePath());
}

}  // namespace

QtDialogs::QtDialogs(std::function<bool(CompressionSettings&)> compressionDialog)
    : compressionDialog_(std::move(compressionDialog)) {}

QtDialogs::~QtDialogs() = default;

void QtDialogs::ListWithoutReading(QFileDialog& dialog) {
  if (!icons_) icons_ = std::make_unique<IconsByName>();
  dialog.setIconProvider(icons_.get());
  // Nor a folder's own icon, which some desktops read from a file inside it.
  dialog.setOption(QFileDialog::DontUseCustomDirectoryIcons, true);
}

FolderItemPtr QtDialogs::ChooseFileToOpen(const QString& fileType, const QString& startFolder) {
  QFileDialog dialog(DialogParent(), QObject::tr("Open"), startFolder);
  ListWithoutReading(dialog);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilters(NameFiltersFor(fileType));
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  return Chosen(dialog);
}

FolderItemPtr QtDialogs::ChooseFileToSave(const QString& fileType, const QString& defaultName,
                                          const QString& startFolder) {
  // Like any desktop save dialog it asks before an existing file is
  // replaced; the program then deletes or overwrites it. A bare name gets
  // the default name's extension.
  QFileDialog dialog(DialogParent(), QObject::tr("Save"), startFolder);
  ListWithoutReading(dialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilters(NameFiltersFor(fileType));
  const QString suffix = QFileInfo(defaultName).suffix();
  if (!suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
  dialog.selectFile(defaultName);
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  return Chosen(dialog);
}

FolderItemPtr QtDialogs::ChooseFolder(const QString& actionButtonCaption, const QString& title,
                                      const QString& promptText, const QString& startFolder) {
  QFileDialog dialog(DialogParent(), title.isEmpty() ? promptText : title, startFolder);
  // Qt's own dialog, so the captions below are shown.
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  ListWithoutReading(dialog);
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
  return Chosen(dialog);
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

FolderItemPtr QtDialogs::ChooseFileToSaveOfType(const std::vector<FileTypeChoice>& types, const QString& defaultName,
                                                const QString& startFolder, int* type) {
  // Qt's own dialog, whose name field the type follows and changes.
  QFileDialog dialog(DialogParent(), QObject::tr("Export As"), startFolder);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  ListWithoutReading(dialog);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  QStringList filters;
  for (const FileTypeChoice& t : types) {
    QStringList patterns;
    for (const QString& extension : t.extensions) patterns << "*." + extension;
    filters << t.label + " (" + patterns.join(' ') + ")";
  }
  dialog.setNameFilters(filters);
  int chosen = std::max(0, FileTypeOfName(types, defaultName));
  auto show = [&](int index) {
    chosen = index;
    dialog.selectNameFilter(filters[index]);
    dialog.setDefaultSuffix(types[size_t(index)].extensions.value(0));
  };
  show(chosen);
  dialog.selectFile(defaultName);
  auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  // The type chosen gives the name its extension...
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, [&](const QString& filter) {
    const int index = int(filters.indexOf(filter));
    if (index < 0) return;
    show(index);
    if (!name) return;
    const QString text = name->text();
    const QString suffix = QFileInfo(text).suffix();
    const QString stem = suffix.isEmpty() || FileTypeOfName(types, text) < 0 ? text : text.left(text.size() - suffix.size() - 1);
    if (!stem.isEmpty()) name->setText(stem + "." + types[size_t(index)].extensions.value(0));
  });
  // ... and the extension typed picks the type.
  if (name)
    QObject::connect(name, &QLineEdit::textEdited, &dialog, [&](const QString& text) {
      const int index = FileTypeOfName(types, text);
      if (index >= 0 && index != chosen) show(index);
    });
  if (dialog.exec() != QDialog::Accepted) return nullptr;
  FolderItemPtr file = Chosen(dialog);
  if (file && type) {
    const int typed = FileTypeOfName(types, file->Name());
    *type = typed >= 0 ? typed : chosen;
  }
  return file;
}

bool QtDialogs::SelectExportOptions(const QString& title, ExportOptions& options) {
  QDialog dialog(DialogParent());
  dialog.setWindowTitle(title);
  auto* form = new QFormLayout(&dialog);
  auto* loop = new QCheckBox(QObject::tr("Loop forever"), &dialog);
  loop->setObjectName(QStringLiteral("loop"));
  loop->setChecked(options.loopForever);
  auto* quality = new QSpinBox(&dialog);
  quality->setObjectName(QStringLiteral("quality"));
  quality->setRange(0, 100);
  quality->setValue(options.quality >= 0 ? options.quality : options.shownQuality);
  auto* lossless = new QCheckBox(QObject::tr("Lossless (every frame exact)"), &dialog);
  lossless->setObjectName(QStringLiteral("lossless"));
  lossless->setChecked(options.lossless);
  if (options.offersLoop) form->addRow(loop);
  if (options.offersQuality) form->addRow(QObject::tr("Quality (0 to 100):"), quality);
  if (options.offersLossless) form->addRow(lossless);
  if (options.offersQuality && options.offersLossless)
    QObject::connect(lossless, &QCheckBox::toggled, quality, [quality](bool on) { quality->setEnabled(!on); });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setDefault(true);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  form->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return false;
  options.loopForever = loop->isChecked();
  // A quality left where it was shown stays the format's own default.
  if (quality->value() != (options.quality >= 0 ? options.quality : options.shownQuality)) options.quality = quality->value();
  options.lossless = lossless->isChecked();
  return true;
}

bool QtDialogs::SelectCompressionSettings(CompressionSettings& settings) {
  return compressionDialog_ && compressionDialog_(settings);
}
