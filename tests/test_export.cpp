// The two export commands driven through scripted dialogs.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <sys/stat.h>

#include "framework/pict.h"
#include "document/animation_state.h"
#include "movie/movie_reader.h"
#include "tests/support/window_fixture.h"

namespace {

class ExportTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    OpenWindow();
  }
  QString Target(const QString& name = "movie.mov") const { return Root() + "/" + name; }
};

}  // namespace

TEST_F(ExportTest, MovieIsWrittenWithTheFieldsSizeAndShown) {
  SetField(3, "120");
  SetField(4, "80");
  dialogs_->saveAnswers.push_back(GetFolderItem(Target()));
  CompressionSettings png;
  png.type = "png ";
  dialogs_->compressionAnswers.push_back(png);
  const int previews = w_->contatore;
  w_->PushButton2->click();
  EXPECT_EQ(dialogs_->log.value(0), "save video/quicktime movie.mov");
  EXPECT_EQ(dialogs_->log.value(1), "compression");
  auto frames = DecodeAllFrames(Target());
  ASSERT_EQ(frames.size(), 18u);
  EXPECT_EQ(frames[0].size(), QSize(120, 80));
  EXPECT_EQ(frames[0].pixel(60, 1) & 0xFFFFFF, 0x66CCFFu);
  EXPECT_EQ(frames[0].pixel(5, 5) & 0xFFFFFF, 0x000080u);
  EXPECT_EQ(w_->LogEditField->Text(), "Movie saved at location: " + Target());
  ASSERT_TRUE(w_->MoviePlayer1->GetMovie());
  EXPECT_EQ(w_->MoviePlayer1->GetMovie()->Path(), Target());
  EXPECT_EQ(w_->contatore, previews);  // no preview file for an export
  // The codec chosen in the dialog is the one in the file.
  MovieReader r;
  ASSERT_TRUE(r.Open(Target()));
  QFile file(Target());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_TRUE(file.readAll().contains("png "));
}

// An existing file stays until the new movie is finished: an export that
// fails (a disk that fills up, here a file size limit) leaves it as it was
// and says why; one that succeeds replaces it.
TEST_F(ExportTest, AnExistingFileIsReplacedOnlyByAFinishedMovie) {
  QFile old(Target());
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("an old file");
  old.close();
  dialogs_->saveAnswers.push_back(GetFolderItem(Target()));
  WithFileSizeLimit(100 << 10, [this] { w_->PushButton2->click(); });
  const QString log = w_->LogEditField->Text();
  EXPECT_TRUE(log.startsWith("Movie not written: File too large")) << log.toStdString();
  EXPECT_EQ(log.count(Target()), 1) << log.toStdString();
  ASSERT_TRUE(old.open(QIODevice::ReadOnly));
  EXPECT_EQ(old.readAll(), "an old file");
  old.close();
  EXPECT_EQ(QDir(Root()).entryList(QDir::Files | QDir::Hidden), QStringList{"movie.mov"});

  // A cancelled compression dialog still exports.
  dialogs_->saveAnswers.push_back(GetFolderItem(Target()));
  dialogs_->compressionAnswers.push_back(std::nullopt);
  w_->PushButton2->click();
  EXPECT_EQ(DecodeAllFrames(Target()).size(), 18u);
  EXPECT_TRUE(dialogs_->messages.isEmpty());
}

TEST_F(ExportTest, AnUndeletableTargetGoesToTheTrashWithAMessage) {
  // A folder with something in it cannot be deleted as a file.
  QDir().mkpath(Target() + "/inside");
  dialogs_->saveAnswers.push_back(GetFolderItem(Target()));
  const QString before = w_->LogEditField->Text();
  w_->PushButton2->click();
  EXPECT_EQ(dialogs_->messages, QStringList({"Existing file just moved to trash. Please repeat command."}));
  EXPECT_FALSE(QFileInfo::exists(Target()));
  EXPECT_TRUE(QFileInfo(TrashFiles() + "/movie.mov").isDir());
  EXPECT_EQ(dialogs_->log.filter("compression").size(), 0);  // no export
  EXPECT_EQ(w_->LogEditField->Text(), before);
}

TEST_F(ExportTest, ATargetThatCannotGoToTheTrashEitherIsReportedAsSuch) {
  QDir().mkpath(Target() + "/inside");
  // A plain file where the Trash should be: nothing can be moved there.
  QDir(DataDir() + "/Trash").removeRecursively();
  QFile blocker(DataDir() + "/Trash");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  dialogs_->saveAnswers.push_back(GetFolderItem(Target()));
  w_->PushButton2->click();
  EXPECT_TRUE(dialogs_->messages.isEmpty());
  EXPECT_TRUE(QFileInfo(Target() + "/inside").isDir());
  const QString log = w_->LogEditField->Text();
  EXPECT_TRUE(log.startsWith("Existing file neither deleted nor moved to the Trash: ")) << log.toStdString();
  EXPECT_TRUE(log.endsWith(" - " + Target())) << log.toStdString();
  EXPECT_EQ(dialogs_->log.filter("compression").size(), 0);
}

TEST_F(ExportTest, CancelledDialogsChangeNothing) {
  MoviePtr shown = w_->MoviePlayer1->GetMovie();
  w_->Log("as it was");
  w_->PushButton2->click();  // save dialog cancelled
  w_->PushButton4->click();  // folder chooser cancelled
  EXPECT_EQ(w_->LogEditField->Text(), "as it was");
  EXPECT_EQ(w_->MoviePlayer1->GetMovie(), shown);
  EXPECT_EQ(dialogs_->log, QStringList({"save video/quicktime movie.mov",
                                        "folder Select|Select a folder for saving frames|Browse folders or create a "
                                        "new folder"}));
}

TEST_F(ExportTest, AFailedWriteIsReportedAndThePreviewKeepsPlaying) {
  MoviePtr shown = w_->MoviePlayer1->GetMovie();
  QFile blocker(Target("blocker"));
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  dialogs_->saveAnswers.push_back(GetFolderItem(Target("blocker/movie.mov")));
  w_->PushButton2->click();
  const QString log = w_->LogEditField->Text();
  EXPECT_TRUE(log.startsWith("Movie not written: Not a directory")) << log.toStdString();
  EXPECT_EQ(log.count(Target("blocker/movie.mov")), 1) << log.toStdString();
  EXPECT_EQ(w_->MoviePlayer1->GetMovie(), shown);
  EXPECT_FALSE(QFileInfo::exists(Target("blocker/movie.mov")));
}

TEST_F(ExportTest, FramesGoToTheChosenFolderWithALogLine) {
  const QString dir = Root() + "/frames";
  QDir().mkpath(dir);
  dialogs_->folderAnswers.push_back(GetFolderItem(dir));
  const int previews = w_->contatore;
  w_->PushButton4->click();
  EXPECT_EQ(QDir(dir).entryList(QDir::Files).size(), 18);
  EXPECT_EQ(w_->LogEditField->Text(), "18 frames saved into folder frames (located at " + dir + ").");
  EXPECT_EQ(w_->contatore, previews + 1);  // the export's own preview now plays
  EXPECT_EQ(w_->MoviePlayer1->GetMovie()->Path(), w_->f->AbsolutePath());
  QFile last(dir + "/frame018");
  ASSERT_TRUE(last.open(QIODevice::ReadOnly));
  EXPECT_EQ(DecodePict(last.readAll()).size(), QSize(400, 200));
}

// Only a movie, or nothing, is replaced by the movie: a picture the
// animation is drawn from (under another name too) and a pipe are refused
// with a message, and nothing changes.
TEST_F(ExportTest, ATargetThatIsNoMovieIsRefused) {
  const QString picture = Target("back.png");
  QImage(40, 30, QImage::Format_RGB32).save(picture);
  w_->asciino[kBackgroundPictureSlot] = picture;
  w_->sfondo = GetFolderItem(picture)->OpenAsPicture();
  ASSERT_TRUE(w_->sfondo);
  ASSERT_TRUE(QFile::link(picture, Target("link.mov")));
  ASSERT_EQ(::mkfifo(QFile::encodeName(Target("pipe")).constData(), 0600), 0);
  QFile file(picture);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  const FolderItemPtr preview = w_->f;
  for (const QString name : {"back.png", "link.mov", "pipe"}) {
    dialogs_->saveAnswers.push_back(GetFolderItem(Target(name)));
    w_->PushButton2->click();
    const QString why = name == "pipe" ? "it is a pipe, not a file" : "it is a picture of the project";
    EXPECT_EQ(w_->LogEditField->Text(), "Movie not written: " + why + " - " + Target(name));
    EXPECT_EQ(w_->f, preview);
  }
  EXPECT_EQ(dialogs_->log.filter("compression").size(), 0);
  file.seek(0);
  EXPECT_EQ(file.readAll(), bytes);
  struct stat st {};
  EXPECT_TRUE(::stat(QFile::encodeName(Target("pipe")).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
}
