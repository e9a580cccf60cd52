#pragma once
// A folder that receives the numbered files of a frame export as one whole.
//
// Each frame is written under a hidden folder of the program's own inside the
// target folder (".velostrip-frames-XXXXXX"). Only Commit() gives the frames
// their names, replacing files of the same names; until then the folder
// holds what it held. A failure, a stop or a quit abandons the export: the
// hidden folder goes, and so does a target folder that Open() made.
//
//   FrameFolder frames(path);
//   if (QString e = frames.Open(FrameFolder::Missing::Make); !e.isEmpty()) fail(e);
//   for each frame: write it to frames.Stage(name) (empty: see LastError())
//   frames.Commit();  // or let it go: the destructor abandons
#include <QString>
#include <vector>

class FrameFolder {
 public:
  enum class Missing { Fail, Make };

  explicit FrameFolder(QString folder);
  ~FrameFolder();  // abandons an export that was not committed
  FrameFolder(const FrameFolder&) = delete;
  FrameFolder& operator=(const FrameFolder&) = delete;

  // Checks the target: a folder, or with Missing::Make nothing at all (it is
  // then made, but not its parents). Returns what is wrong as a sentence.
  // Optional: without it Stage() reports a missing folder at the first frame.
  QString Open(Missing missing);

  QString Path() const { return folder_; }
  // Where the frame of this name ends up.
  QString FinalPath(const QString& name) const;
  // Where the frame of this name is to be written now. Empty when it cannot
  // be (the folder is missing, or something that is not a file holds the
  // name), with the reason in LastError().
  QString Stage(const QString& name);
  QString LastError() const { return lastError_; }

  // Gives every staged frame its name, replacing the files of those names.
  // All or none: when a name cannot be given, those given before are taken
  // back and the files they replaced return. Returns the error as a sentence
  // naming the file ("Frames not written: <reason> - <path>"), empty when done.
  QString Commit();
  // Removes every staged frame, the hidden folder, and the target folder if
  // Open() made it. Called by the destructor unless Commit() succeeded.
  void Abandon();

  // The prefix of the hidden folders, for tests and for the user who finds
  // one left by a program that was killed outright.
  static QString HiddenPrefix();

 private:
  QString folder_;
  QString staging_;  // the hidden folder, once made
  std::vector<QString> names_;
  QString lastError_;
  bool madeFolder_ = false;
  bool done_ = false;
};
