#include "framework/folder_bound.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

namespace {
constexpr qint64 kMostBytes = qint64(1) << 30;  // 1 GiB
qint64 g_boundForTests = -1;
}  // namespace

void SetFolderBoundForTests(qint64 bytes) { g_boundForTests = bytes; }

qint64 FolderBound(const QString& folder) {
  if (g_boundForTests >= 0) return g_boundForTests;
  const QStorageInfo storage(folder);
  const qint64 free = storage.isValid() ? storage.bytesAvailable() : -1;
  return free < 0 ? kMostBytes : std::min(kMostBytes, free / 4);
}

qint64 FolderBytes(const QString& folder) {
  qint64 total = 0;
  const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
  for (const QFileInfo& entry : entries)
    if (!entry.isSymLink()) total += entry.size();
  return total;
}

QStringList KeepFolderWithinBound(const QString& folder, const QStringList& oldestFirst, const QStringList& keep) {
  QStringList deleted;
  qint64 total = FolderBytes(folder);
  const qint64 bound = FolderBound(folder);
  for (const QString& name : oldestFirst) {
    if (total <= bound) break;
    if (keep.contains(name)) continue;
    const QString path = folder + QLatin1Char('/') + name;
    const QFileInfo info(path);
    if (!info.isFile() || info.isSymLink()) continue;
    const qint64 size = info.size();
    if (QFile::remove(path)) {
      total -= size;
      deleted << name;
    }
  }
  return deleted;
}
