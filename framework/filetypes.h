#pragma once
#include <QString>
#include <QStringList>
#include <memory>

// A named file type, as the open and save dialogs filter by it.
struct FileType {
  QString Name;
  QString Extensions;  // ".moov;.mov;.qt;.mqv", or empty
  QString MacType;
  QString MacCreator;
};
using FileTypePtr = std::shared_ptr<FileType>;

void RegisterFileType(const FileTypePtr& type);
FileTypePtr FindFileType(const QString& name);
// Qt name filters for a type: "text" offers text files and all files,
// "special/any" every file, a type with extensions those extensions.
QStringList NameFiltersFor(const QString& typeName);
