// The compression settings: the track asking through the dialog layer, and
// the Qt dialog itself driven like a user would.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTimer>
#include <functional>

#include "framework/folderitem.h"
#include "framework/scripted_dialogs.h"
#include "movie/movie.h"
#include "movie/movie_reader.h"
#include "tests/support/movie_support.h"

using namespace movietest;

namespace {

// Answers the dialog layer with a fixed choice and remembers what it was offered.
class RecordingDialogs : public ScriptedDialogs {
 public:
  bool SelectCompressionSettings(CompressionSettings& settings) override {
    offered = settings;
    return ScriptedDialogs::SelectCompressionSettings(settings);
  }
  CompressionSettings offered;
};

TEST(CompressionSettings, TrackAsksTheDialogLayerAndKeepsTheAnswer) {
  auto dialogs = std::make_unique<RecordingDialogs>();
  RecordingDialogs* script = dialogs.get();
  std::unique_ptr<Dialogs> previous = InstallDialogs(std::move(dialogs));

  QTemporaryDir dir;
  EditableMoviePtr movie = CreateMovieAt(dir.filePath("m.mov"));
  QTVideoTrackPtr track = movie->NewVideoTrack(10, 10, 1.0);
  track->CompressionType = "rle ";
  track->Depth = 32;
  track->CompressionQuality = 70;

  script->compressionAnswers.push_back(CompressionSettings{"png ", 24, 40});
  EXPECT_TRUE(track->SelectCompressionSettings());
  EXPECT_EQ(script->offered.type, "rle ");
  EXPECT_EQ(script->offered.depth, 32);
  EXPECT_EQ(script->offered.quality, 70);
  EXPECT_EQ(track->CompressionType, "png ");
  EXPECT_EQ(track->Depth, 24);
  EXPECT_EQ(track->CompressionQuality, 40);

  script->compressionAnswers.push_back(std::nullopt);  // cancel
  EXPECT_FALSE(track->SelectCompressionSettings());
  EXPECT_EQ(track->CompressionType, "png ");
  EXPECT_EQ(track->CompressionQuality, 40);
  EXPECT_EQ(script->log, (QStringList{"compression", "compression"}));

  InstallDialogs(std::move(previous));
}

// Runs the compression dialog; act gets the dialog once it is on screen.
bool RunDialog(CompressionSettings& settings, const std::function<void(QDialog*)>& act) {
  App();
  QTimer poll;
  poll.setInterval(10);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    poll.stop();
    act(dialog);
  });
  poll.start();
  return RunCompressionDialog(settings);
}

TEST(CompressionSettings, DialogChangesSettingsOnOk) {
  CompressionSettings settings{"raw ", 24, 100};
  QString title;
  bool depthEnabledForAnimation = false, depthEnabledForPng = true, qualityEnabledForJpeg = false;
  const bool ok = RunDialog(settings, [&](QDialog* dialog) {
    title = dialog->windowTitle();
    auto* codec = dialog->findChild<QComboBox*>("codec");
    auto* depth = dialog->findChild<QComboBox*>("depth");
    auto* quality = dialog->findChild<QSlider*>("quality");
    ASSERT_TRUE(codec && depth && quality);
    EXPECT_EQ(codec->currentText(), "None");
    QStringList labels;
    for (int i = 0; i < codec->count(); ++i) labels << codec->itemText(i);
    EXPECT_EQ(labels.mid(0, 4), (QStringList{"None", "Animation", "PNG", "Photo - JPEG"}));
    codec->setCurrentIndex(codec->findText("Animation"));
    depthEnabledForAnimation = depth->isEnabled();
    codec->setCurrentIndex(codec->findText("PNG"));
    depthEnabledForPng = depth->isEnabled();
    codec->setCurrentIndex(codec->findText("Photo - JPEG"));
    qualityEnabledForJpeg = quality->isEnabled();
    quality->setValue(35);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
  });
  EXPECT_TRUE(ok);
  EXPECT_EQ(title, "Compression Settings");
  EXPECT_TRUE(depthEnabledForAnimation);
  EXPECT_FALSE(depthEnabledForPng);
  EXPECT_TRUE(qualityEnabledForJpeg);
  EXPECT_EQ(settings.type, "jpeg");
  EXPECT_EQ(settings.quality, 35);
}

TEST(CompressionSettings, DialogShowsTheCurrentChoiceAndCancelKeepsIt) {
  CompressionSettings settings{"rle ", 32, 60};
  QString shownCodec, shownDepth;
  int shownQuality = -1;
  const bool ok = RunDialog(settings, [&](QDialog* dialog) {
    auto* codec = dialog->findChild<QComboBox*>("codec");
    auto* depth = dialog->findChild<QComboBox*>("depth");
    shownCodec = codec->currentText();
    shownDepth = depth->currentText();
    shownQuality = dialog->findChild<QSlider*>("quality")->value();
    codec->setCurrentIndex(0);
    depth->setCurrentIndex(0);
    dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
  });
  EXPECT_FALSE(ok);
  EXPECT_EQ(shownCodec, "Animation");
  EXPECT_EQ(shownDepth, "Millions of Colors+");
  EXPECT_EQ(shownQuality, 60);
  EXPECT_EQ(settings.type, "rle ");
  EXPECT_EQ(settings.depth, 32);
  EXPECT_EQ(settings.quality, 60);
}

TEST(MovieFolderItem, CreateMovieAndOpenAsMovie) {
  QTemporaryDir dir;
  FolderItem file(dir.filePath("film.mov"));
  const std::vector<QImage> frames{RandomImage(24, 18, 1), RandomImage(24, 18, 2)};
  {
    std::shared_ptr<EditableMovie> movie = file.CreateMovie();
    ASSERT_TRUE(movie);
    EXPECT_EQ(movie->Error(), "");
    QTVideoTrackPtr track = movie->NewVideoTrack(24, 18, 1.0);
    track->TimeScale = 8;
    for (const QImage& f : frames) ASSERT_TRUE(track->AppendPicture(Picture(f)));
  }
  std::shared_ptr<Movie> movie = file.OpenAsMovie();
  ASSERT_TRUE(movie);
  EXPECT_EQ(movie->Width(), 24);
  EXPECT_EQ(movie->FrameCount(), 2);
  EXPECT_EQ(FirstDifference(frames[1], ReadAllFrames(movie->Path())[1]), "");
  EXPECT_FALSE(FolderItem(dir.filePath("none.mov")).OpenAsMovie());
}

}  // namespace
