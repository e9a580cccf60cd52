#pragma once
// The file a movie is written into until it is finished.
//
// On Linux the data goes to an unnamed file in the target's folder
// (O_TMPFILE); it gets the target's name only when the movie is finished, so
// a program that is killed while writing leaves nothing behind. Where the
// filesystem cannot make unnamed files, the data goes to a hidden file beside
// the target (".name.partial-XXXXXX") that is renamed at the end. While a
// writer holds such a file it keeps a lock on it, which is how a stale one
// (its writer killed) is told from one being written.
#include <QString>

class MovieOutputFile {
 public:
  MovieOutputFile() = default;
  MovieOutputFile(const MovieOutputFile&) = delete;
  MovieOutputFile& operator=(const MovieOutputFile&) = delete;
  ~MovieOutputFile() { Discard(); }

  // Makes the file for a target path, first removing the stale partial
  // files of its folder. Returns why it could not (the system's reason),
  // empty when all is well.
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
// unnamed files cannot be made.
bool IsPartialMovieName(const QString& fileName);

// Whether new movies may be written into unnamed files where the filesystem
// allows (the default). Tests turn it off to exercise the hidden-file way.
void AllowUnnamedMovieFiles(bool allowed);
