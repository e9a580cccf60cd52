// The dialog layer: the scripted dialogs tests use, file type filters, and the
// Qt dialogs themselves driven on the offscreen platform.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include <QAbstractButton>
#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <functional>

#include "framework/dialogs.h"
#include "framework/filetypes.h"
#include "framework/qt_dialogs.h"
#include "framework/scripted_dialogs.h"
#include "tests/support/test_env.h"

// Readable failure messages for texts.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

// Installs a scripted layer for one test and puts the previous one back.
class ScriptedScope {
 public:
  ScriptedScope() {
    auto owned = std::make_unique<ScriptedDialogs>();
    dialogs = owned.get();
    previous_ = InstallDialogs(std::move(owned));
  }
  ~ScriptedScope() { InstallDialogs(std::move(previous_)); }
  ScriptedDialogs* dialogs;

 private:
  std::unique_ptr<Dialogs> previous_;
};

// Runs `act` on the modal dialog of type T once it shows; records whether it
// ever did.
template <typename T>
struct WhenModal {
  explicit WhenModal(std::function<void(T*)> act) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    auto clock = std::make_shared<QElapsedTimer>();
    clock->start();
    QObject::connect(timer, &QTimer::timeout, [this, timer, clock, act] {
      if (auto* dialog = qobject_cast<T*>(QApplication::activeModalWidget())) {
        timer->stop();
        timer->deleteLater();
        seen = true;
        act(dialog);
      } else if (clock->elapsed() > 10000) {
        timer->stop();
        timer->deleteLater();
      }
    });
    timer->start();
  }
  bool seen = false;
};

}  // namespace

TEST(ScriptedDialogsTest, AnswersInOrderAndCancelsWhenEmpty) {
  ScriptedScope scope;
  ScriptedDialogs& d = *scope.dialogs;
  const FolderItemPtr a = std::make_shared<FolderItem>("/tmp/a.txt");
  const FolderItemPtr b = std::make_shared<FolderItem>("/tmp/b.mov");
  const FolderItemPtr folder = std::make_shared<FolderItem>("/tmp");
  d.openAnswers = {a, nullptr};
  d.saveAnswers = {b};
  d.folderAnswers = {folder};
  d.colorAnswers = {Color(0x123456), std::nullopt};
  d.compressionAnswers = {CompressionSettings{"png ", 32, 50.0}};

  EXPECT_EQ(GetOpenFolderItem("special/any"), a);
  EXPECT_EQ(GetOpenFolderItem("text"), nullptr);  // scripted cancel
  EXPECT_EQ(GetOpenFolderItem("text"), nullptr);  // nothing left
  EXPECT_EQ(GetSaveFolderItem("video/quicktime", "movie.mov"), b);
  EXPECT_EQ(GetSaveFolderItem("video/quicktime", "movie.mov"), nullptr);

  SelectFolderDialog chooser;
  chooser.ActionButtonCaption = "Select";
  chooser.Title = "Select a folder for saving frames";
  chooser.PromptText = "Browse folders or create a new folder";
  EXPECT_EQ(chooser.ShowModal(), folder);
  EXPECT_EQ(chooser.ShowModal(), nullptr);

  Color c = 0xFFFFFF;
  EXPECT_TRUE(SelectColor(c, "Select a color"));
  EXPECT_EQ(c, 0x123456u);
  EXPECT_FALSE(SelectColor(c, "Select a color"));
  EXPECT_EQ(c, 0x123456u);  // a cancel leaves the colour

  CompressionSettings s;
  EXPECT_TRUE(CurrentDialogs().SelectCompressionSettings(s));
  EXPECT_EQ(s.type, "png ");
  EXPECT_EQ(s.depth, 32);
  EXPECT_EQ(s.quality, 50.0);
  CompressionSettings untouched;
  EXPECT_FALSE(CurrentDialogs().SelectCompressionSettings(untouched));
  EXPECT_EQ(untouched.type, "raw ");

  MsgBox("Done!");

  const QStringList expected = {
      "open special/any",
      "open text",
      "open text",
      "save video/quicktime movie.mov",
      "save video/quicktime movie.mov",
      "folder Select|Select a folder for saving frames|Browse folders or create a new folder",
      "folder Select|Select a folder for saving frames|Browse folders or create a new folder",
      "color Select a color",
      "color Select a color",
      "compression",
      "compression",
      "msgbox Done!",
  };
  EXPECT_EQ(d.log, expected);
  EXPECT_EQ(d.messages, QStringList{"Done!"});
}

// A dialog opens where the last choice worked: a save that failed there, or
// an open of a special file, leaves the start folder where it was.
TEST(ScriptedDialogsTest, DialogsOpenWhereTheLastChoiceWorked) {
  TestApp();
  TempAppEnv env;
  ScriptedScope scope;
  ScriptedDialogs& d = *scope.dialogs;
  const QString good = env.root() + "/good", frames = env.root() + "/frames";
  ASSERT_TRUE(QDir().mkpath(good) && QDir().mkpath(frames));
  // Folders made a moment ago could share their time stamp with the write
  // that follows; a user's folders are older than that.
  for (const QString& folder : {good, frames}) {
    const timespec hourAgo[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, QFile::encodeName(folder).constData(), hourAgo, 0), 0);
  }
  d.saveAnswers = {GetFolderItem(good + "/movie_data.txt"), GetFolderItem("/proc/movie_data.txt")};
  d.folderAnswers = {GetFolderItem(frames)};
  d.openAnswers = {GetFolderItem("/proc/version"), GetFolderItem(good + "/movie_data.txt")};

  std::shared_ptr<TextOutputStream> out = GetSaveFolderItem("text", "movie_data.txt")->CreateTextFile();
  ASSERT_NE(out, nullptr);
  out->WriteLine("0");
  ASSERT_TRUE(out->Close());
  EXPECT_EQ(GetSaveFolderItem("text", "movie_data.txt")->CreateTextFile(), nullptr);
  SelectFolderDialog chooser;
  EXPECT_TRUE(chooser.ShowModal()->Child("frame001")->SaveAsPicture(*NewPicture(4, 4, 32)));
  EXPECT_EQ(GetOpenFolderItem("special/any")->OpenAsPicture(), nullptr);
  EXPECT_NE(GetOpenFolderItem("text"), nullptr);
  EXPECT_EQ(GetOpenFolderItem("text"), nullptr);  // cancelled: nothing to look at
  EXPECT_EQ(GetOpenFolderItem("text"), nullptr);
  EXPECT_EQ(d.startFolders, (QStringList{QDir::homePath(), good, good, frames, frames, good, good}));
}

TEST(DialogsTest, InstallReturnsThePreviousLayerAndDefaultsToQt) {
  TestApp();
  std::unique_ptr<Dialogs> saved = InstallDialogs(nullptr);
  EXPECT_NE(dynamic_cast<QtDialogs*>(&CurrentDialogs()), nullptr);

  auto first = std::make_unique<ScriptedDialogs>();
  ScriptedDialogs* firstPtr = first.get();
  std::unique_ptr<Dialogs> qt = InstallDialogs(std::move(first));
  EXPECT_NE(dynamic_cast<QtDialogs*>(qt.get()), nullptr);
  EXPECT_EQ(&CurrentDialogs(), firstPtr);
  std::unique_ptr<Dialogs> back = InstallDialogs(std::make_unique<ScriptedDialogs>());
  EXPECT_EQ(back.get(), firstPtr);
  InstallDialogs(std::move(saved));
}

TEST(FileTypesTest, NameFilters) {
  EXPECT_EQ(NameFiltersFor("text"), (QStringList{"Text files (*.txt)", "All files (*)"}));
  EXPECT_EQ(NameFiltersFor("special/any"), QStringList{"All files (*)"});
  EXPECT_EQ(NameFiltersFor("no/such-type"), QStringList{"All files (*)"});
  EXPECT_EQ(NameFiltersFor("video/quicktime"),
            QStringList{"QuickTime movies (*.moov *.mov *.qt *.mqv)"});

  RegisterFileType(std::make_shared<FileType>(FileType{"video/quicktime", ".moov;.mov;.qt;.mqv", "MooV", "TVOD"}));
  ASSERT_NE(FindFileType("video/quicktime"), nullptr);
  EXPECT_EQ(FindFileType("video/quicktime")->MacType, "MooV");
  EXPECT_EQ(NameFiltersFor("video/quicktime"),
            QStringList{"QuickTime movies (*.moov *.mov *.qt *.mqv)"});

  RegisterFileType(std::make_shared<FileType>(FileType{"Frames", ".pict; png", "PICT", ""}));
  EXPECT_EQ(NameFiltersFor("Frames"), QStringList{"Frames (*.pict *.png)"});
  RegisterFileType(std::make_shared<FileType>(FileType{"Anything", "", "", ""}));
  EXPECT_EQ(NameFiltersFor("Anything"), QStringList{"All files (*)"});
  EXPECT_EQ(FindFileType("unregistered"), nullptr);
}

// The real dialogs, shown on the offscreen platform and answered by a timer.
class QtDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    ASSERT_TRUE(env.dir.isValid());
  }
  TempAppEnv env;
  QtDialogs dialogs;
};

TEST_F(QtDialogsTest, SelectFolderShowsTheCaptionsAndReturnsTheChoice) {
  const QString target = env.root() + "/frames";
  ASSERT_TRUE(QDir().mkpath(target));
  QString title, accept, prompt;
  WhenModal<QFileDialog> answer([&](QFileDialog* d) {
    title = d->windowTitle();
    accept = d->labelText(QFileDialog::Accept);
    if (auto* label = d->findChild<QLabel*>("promptLabel")) prompt = label->text();
    EXPECT_EQ(d->fileMode(), QFileDialog::Directory);
    d->setDirectory(env.root());
    d->selectFile(target);
    static_cast<QDialog*>(d)->accept();
  });
  const FolderItemPtr chosen =
      dialogs.SelectFolder("Select", "Select a folder for saving frames", "Browse folders or create a new folder");
  ASSERT_TRUE(answer.seen);
  EXPECT_EQ(title, "Select a folder for saving frames");
  EXPECT_EQ(accept, "Select");
  EXPECT_EQ(prompt, "Browse folders or create a new folder");
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->AbsolutePath(), target);

  WhenModal<QFileDialog> cancel([](QFileDialog* d) { d->reject(); });
  EXPECT_EQ(dialogs.SelectFolder("Select", "T", "P"), nullptr);
  EXPECT_TRUE(cancel.seen);
}

TEST_F(QtDialogsTest, SaveDialogProposesTheNameAsksBeforeReplacingAndAddsTheExtension) {
  const QString existing = env.root() + "/movie.mov";
  {
    QFile f(existing);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("old");
  }
  QString proposed;
  QStringList filters;
  bool confirms = true;
  WhenModal<QFileDialog> answer([&](QFileDialog* d) {
    QLineEdit* edit = d->findChild<QLineEdit*>("fileNameEdit");
    ASSERT_NE(edit, nullptr);
    proposed = edit->text();
    filters = d->nameFilters();
    confirms = !d->testOption(QFileDialog::DontConfirmOverwrite);
    // A bare name typed over the proposal: no question to answer. (selectFile
    // leaves the name field alone once it has the focus, which made this
    // depend on timing.)
    d->setDirectory(env.root());
    edit->setText("clip");
    static_cast<QDialog*>(d)->accept();
  });
  const FolderItemPtr chosen = dialogs.GetSaveFolderItem("video/quicktime", "movie.mov");
  ASSERT_TRUE(answer.seen);
  EXPECT_EQ(proposed, "movie.mov");
  EXPECT_EQ(filters, QStringList{"QuickTime movies (*.moov *.mov *.qt *.mqv)"});
  EXPECT_TRUE(confirms);  // an existing file is not replaced without asking
  ASSERT_NE(chosen, nullptr);
  EXPECT_EQ(chosen->AbsolutePath(), env.root() + "/clip.mov");

  // Once the file is written, the next dialog starts in its folder. Listing
  // the folder reads no file: a picture without an extension is just a file.
  {
    QFile f(chosen->AbsolutePath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("clip");
  }
  const QString png = env.root() + "/picture";
  ASSERT_TRUE(QImage(8, 8, QImage::Format_RGB32).save(png, "PNG"));
  QString startDir, pngType;
  WhenModal<QFileDialog> open([&](QFileDialog* d) {
    startDir = d->directory().absolutePath();
    EXPECT_EQ(d->nameFilters(), (QStringList{"Text files (*.txt)", "All files (*)"}));
    ASSERT_NE(d->iconProvider(), nullptr);
    pngType = d->iconProvider()->type(QFileInfo(png));
    d->reject();
  });
  EXPECT_EQ(dialogs.GetOpenFolderItem("text"), nullptr);
  ASSERT_TRUE(open.seen);
  EXPECT_EQ(startDir, env.root());
  EXPECT_FALSE(pngType.isEmpty());
  EXPECT_FALSE(pngType.contains("PNG")) << pngType.toStdString();
}

TEST_F(QtDialogsTest, ColorAndMessageDialogs) {
  QString title;
  QColor start;
  WhenModal<QColorDialog> pick([&](QColorDialog* d) {
    title = d->windowTitle();
    start = d->currentColor();
    d->setCurrentColor(QColor(0x10, 0x20, 0x30));
    static_cast<QDialog*>(d)->accept();
  });
  Color c = 0xFF8000;
  EXPECT_TRUE(dialogs.SelectColor(c, "Select a color"));
  ASSERT_TRUE(pick.seen);
  EXPECT_EQ(title, "Select a color");
  EXPECT_EQ(start, QColor(0xFF, 0x80, 0x00));
  EXPECT_EQ(c, 0x102030u);

  WhenModal<QColorDialog> cancel([](QColorDialog* d) { d->reject(); });
  EXPECT_FALSE(dialogs.SelectColor(c, "Select a color"));
  EXPECT_EQ(c, 0x102030u);

  QString text;
  WhenModal<QMessageBox> ok([&](QMessageBox* box) {
    text = box->text();
    box->button(QMessageBox::Ok)->click();
  });
  dialogs.MsgBox("The movie is ready.");
  ASSERT_TRUE(ok.seen);
  EXPECT_EQ(text, "The movie is ready.");
}
