#pragma once
// A folder of throw-away files (the previews) kept from filling the disk.
//
// Its bound is 1 GiB or a quarter of the space its file system has free,
// whichever is smaller. Once the folder holds more, the oldest of the files
// that may go are deleted first, until it is within the bound again or none
// is left that may go.
#include <QString>
#include <QStringList>

// The bound for this folder, in bytes.
qint64 FolderBound(const QString& folder);
// For tests: a fixed bound in place of the real one; negative for the real one.
void SetFolderBoundForTests(qint64 bytes);

// The files of folder together: every entry's size (folders not descended).
qint64 FolderBytes(const QString& folder);

// Deletes from oldestFirst (names in folder, oldest first) until the
// folder is within its bound; never a name in keep. Returns the names
// deleted.
QStringList KeepFolderWithinBound(const QString& folder, const QStringList& oldestFirst, const QStringList& keep);
