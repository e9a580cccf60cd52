#pragma once
// The file a movie is written into until it is finished.
//
// On Linux the data goes to an unnamed file in the target's folder
// (O_TMPFILE); it gets the target's name only when the movie is finished, so
// a program that is killed while writing leaves nothing behind. Where the
// filesystem cannot make unnamed files (FAT, exFAT, NFS, CIFS, or no /proc),
// the data goes to a hidden file beside the target
// (".name.velostrip-partial-XXXXXX") that is renamed at the end.
//
// A hidden file that a killed writer left goes when the next movie is written
// into its folder, but only when it is provably one of ours: it has such a
// name, begins with our mark or with the start of one of our movies, and
// nobody holds its lock. A writer locks its file before it writes the mark,
// so no clean-up, of this program or of another copy, takes a file that is
// being written; anything else that merely looks like a partial file stays.
//
// A movie that replaces a file keeps what the user set on it: written over a
// symbolic link, it replaces the file the link points to (the link stays),
// and it takes the replaced file's permission bits and, where the system
// lets us, its group.
#include <QString>

class MovieOutputFile {
 public:
  MovieOutputFile() = default;
  MovieOutputFile(const MovieOutputFile&) = delete;
  MovieOutputFile& operator=(const MovieOutputFile&) = delete;
  ~MovieOutputFile() { Discard(); }

  // Makes the file for a target path (the file a symbolic link there points
  // to), first removing our stale partial files from its folder. Returns why
  // it could not (the system's reason), empty when all is well.
  QString Open(const QString& target);
  int Descriptor() const { return fd_; }
  // True while the file has no name at all.
  bool Unnamed() const { return unnamed_; }
  // Gives the finished file the target's name, replacing a file there in one
  // step. Returns why it could not (the system's reason), empty when done; on
  // failure nothing is left, and a file that was there stays as it was.
  QString Commit();
  // Closes and forgets what was written.
  void Discard();

 private:
  QString target_, partialPath_;
  int fd_ = -1;
  bool unnamed_ = false;
};

// True for the names of the hidden files that movies are written into where
// unnamed files cannot be made. The name alone proves nothing: the clean-up
// also wants the file's mark and its lock.
bool IsPartialMovieName(const QString& fileName);

// Whether new movies may be written into unnamed files where the filesystem
// allows (the default). Tests turn it off to exercise the hidden-file way.
void AllowUnnamedMovieFiles(bool allowed);
