#include "app/scratch_folder.h"

#include <QDir>
#include <QFileInfo>

#include "app/desktop_id.h"
#include "framework/system.h"

namespace {

QString CacheFolder() {
  // An unset, empty or relative variable is ignored, as the XDG base
  // directory rules ask.
  const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
  if (!cache.isEmpty() && QDir::isAbsolutePath(cache)) return QDir::cleanPath(cache);
  return QDir::homePath() + "/.cache";
}

}  // namespace

bool RunsInstalled() {
  const QDir program(ApplicationFolder());
  if (program.dirName() != "bin") return false;
  return QFileInfo(program.absoluteFilePath(QStringLiteral("../share/applications/%1.desktop").arg(kDesktopFileId)))
      .isFile();
}

FolderItemPtr ScratchFolder() {
  if (RunsInstalled()) {
    // The cache and the program's folder in it may not exist yet; the
    // scratch folder itself is made where it is needed.
    const QString parent = CacheFolder() + "/velostrip";
    QDir().mkpath(parent);
    return GetFolderItem(parent + "/ftemp");
  }
  return GetFolderItem("ftemp");
}

void CleanUpScratchFolder() {
  FolderItemPtr folder = ScratchFolder();
  if (!folder || !folder->Exists() || !folder->Directory()) return;
  // The program only ever makes a real folder here; a link to some other
  // folder is the user's, and its contents are not ours to delete.
  if (QFileInfo(folder->AbsolutePath()).isSymLink()) return;
  // The entries as they stand now, read once: deleting shifts the numbering,
  // and reading the folder again per entry made the clean-up quadratic.
  for (const FolderItemPtr& entry : folder->Entries()) {
    if (entry && entry->Exists()) entry->Delete();  // a failure leaves it for the Trash
    YieldToFramework();
  }
  if (RunsInstalled())
    folder->Delete();  // fails quietly when something could not be deleted
  else
    folder->MoveFileTo(TrashFolder());
}
