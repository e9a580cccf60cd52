#pragma once
// Files and folders by path. A bare name is resolved against the
// application's folder (the folder of the executable, or the one a test sets).
#include <QString>
#include <memory>
#include <vector>

#include "framework/picture.h"

class FolderItem;
class EditableMovie;
class Movie;
class TextOutputStream;
class TextInputStream;
using FolderItemPtr = std::shared_ptr<FolderItem>;

// The formats FolderItem::SaveAsPicture writes.
enum PictureFileFormat { kPictFile = 0, kPngFile = 1 };
// What a file name of that format ends with: nothing for PICT, ".png".
QString PictureFileExtension(int format);

class FolderItem {
 public:
  explicit FolderItem(QString absolutePath);

  bool Exists() const;
  bool Directory() const;
  // Count and Item each read the folder afresh (in name order); a loop over
  // a folder takes Entries, which reads it once.
  int Count() const;                  // entries of a folder, 0 otherwise
  FolderItemPtr Item(int index) const;  // 1-based; nil when out of range
  std::vector<FolderItemPtr> Entries() const;  // in name order; none for a file
  FolderItemPtr Child(const QString& name) const;
  FolderItemPtr Parent() const;
  QString Name() const;
  QString AbsolutePath() const;

  // Each returns true on success; on failure LastError() says why.
  bool Delete();  // a file, or an empty folder
  bool CreateAsFolder();
  bool MoveFileTo(const FolderItemPtr& folder);  // into the folder (the Trash included)

  // nil when the file is not a picture that can be read, whatever its bytes.
  PicturePtr OpenAsPicture() const;
  // In a PictureFileFormat: PICT (Apple PICT version 2, 32-bit direct
  // pixels) or PNG (24-bit RGB).
  bool SaveAsPicture(const Picture& picture, int format = 0);

  std::shared_ptr<TextOutputStream> CreateTextFile();
  // The whole text, read once through the name's own bytes: a file, or a
  // pipe or device of that name (`velostrip <(generate)`). nil when it cannot
  // be read, or holds more than maxBytes bytes; `error` then says why as an
  // errno value (EFBIG for too many bytes).
  std::shared_ptr<TextInputStream> OpenAsTextFile(qint64 maxBytes = qint64(1) << 30, int* error = nullptr) const;

  // The movie layer (movie/). CreateMovie replaces a file of the same name.
  std::shared_ptr<EditableMovie> CreateMovie();
  std::shared_ptr<Movie> OpenAsMovie() const;

  QString LastError() const { return lastError_; }

 private:
  QString path_;
  QString lastError_;
};

// A file that an output must not replace: what it is, said as "the project
// being rendered" or "a picture of the project".
struct KeptFile {
  QString path;
  QString what;
};
// Why an output may not be written over path, as a phrase ("it is the
// project being rendered", "it is a pipe, not a file"); empty when nothing
// is there, or a regular file (or a link to one) that is none of kept, which
// are compared by device and inode, so under any name or link. A folder is
// left to the caller.
QString WhyNotReplace(const QString& path, const std::vector<KeptFile>& kept);

// A bare name against the application's folder, or an absolute path.
FolderItemPtr GetFolderItem(const QString& nameOrPath);
// The user's Trash (freedesktop.org: $XDG_DATA_HOME/Trash, else ~/.local/share/Trash).
FolderItemPtr TrashFolder();

// How many times a folder's entries have been read so far, for tests that
// check a loop over a folder reads it once.
int FolderListingCount();

QString ApplicationFolder();
void SetApplicationFolder(const QString& folder);  // for tests

class TextOutputStream {
 public:
  virtual ~TextOutputStream() = default;
  virtual void WriteLine(const QString& line) = 0;
  virtual bool Close() = 0;  // false when anything could not be written
};

class TextInputStream {
 public:
  virtual ~TextInputStream() = default;
  virtual QString ReadLine() = 0;  // "" at the end
  virtual bool EOF_() const = 0;
  virtual void Close() = 0;
};
