// Files dropped on the main window: a picture on the preview area or on the
// background swatch becomes the background, as "background or image" makes
// it; anything else is opened as a project, as File > "Open.." opens it
// (asking first whether to save changes, and saying why when it is none).
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include "main_window/preview_area.h"
#include "main_window/window1.h"

namespace {

// The first local file among the dropped things; empty when none.
QString DroppedFile(const QMimeData* data) {
  if (!data || !data->hasUrls()) return QString();
  for (const QUrl& url : data->urls())
    if (url.isLocalFile()) return url.toLocalFile();
  return QString();
}

}  // namespace

void Window1::dragEnterEvent(QDragEnterEvent* e) {
  if (!DroppedFile(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void Window1::dragMoveEvent(QDragMoveEvent* e) {
  if (!DroppedFile(e->mimeData()).isEmpty()) e->acceptProposedAction();
}

void Window1::dropEvent(QDropEvent* e) {
  const QString path = DroppedFile(e->mimeData());
  if (path.isEmpty()) return;
  e->acceptProposedAction();
  const QPoint at = content_->mapFrom(this, e->position().toPoint());
  const QRect preview(kPreviewLeft, kPreviewTop, kPreviewSize, kPreviewSize);
  const bool onBackground =
      preview.contains(at) || Rectcolore[1]->geometry().contains(at) || tStatic2->geometry().contains(at);
  FolderItemPtr file = GetFolderItem(path);
  if (onBackground && file && file->OpenAsPicture()) {
    RunUserAction([this, file] {
      NameChange("Background Picture");
      SetBackgroundFrom(file);
    });
    return;
  }
  if (Services().openProject) Services().openProject(path);
}
