// The engine on its own: a render from a settings value into a real movie,
// decoded back, with no window anywhere.
#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "engine/renderer.h"
#include "framework/text.h"
#include "movie/movie.h"
#include "tests/support/movie_support.h"

namespace {

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    movietest::App();
    ASSERT_TRUE(dir_.isValid());
    s_.movieWidth = 60;
    s_.movieHeight = 40;
    s_.width = s_.height = 10;
    s_.steps = 6;
  }

  // Renders s_ into a new raw movie; the movie is released (finished or discarded).
  RenderResult RenderTo(const QString& name, const std::function<void()>& during = nullptr) {
    path_ = dir_.path() + "/" + name;
    EditableMoviePtr movie = CreateMovieAt(path_);
    QTVideoTrackPtr track = movie->NewVideoTrack(60, 40, 1.0);
    PicturePtr frame = NewPicture(60, 40, 32);
    if (during) {
      QTest::qWait(20);  // the first yield then hands over to the event loop
      QTimer::singleShot(0, &context_, during);
    }
    const RenderResult result = engine_.Render(s_, *frame, *track, path_);
    if (!result.ok()) movie->Discard();
    return result;
  }

  // The expected frame: background, and the ovals at the listed corners.
  QImage Expected(std::initializer_list<QPoint> ovals) const {
    Picture pic(60, 40);
    pic.Graphics()->ForeColor = s_.backgroundColor;
    pic.Graphics()->FillRect(0, 0, 60, 40);
    pic.Graphics()->ForeColor = s_.objectColor;
    for (QPoint c : ovals) pic.Graphics()->FillOval(c.x(), c.y(), 10, 10);
    return pic.image();
  }

  QTemporaryDir dir_;
  QObject context_;
  RenderSettings s_;
  Renderer engine_;
  QString path_;
};

}  // namespace

TEST_F(EngineTest, CopyClearDrawsTheTrailAndWipesItAgain) {
  s_.mode = DrawingMode::CopyClear;
  ASSERT_TRUE(RenderTo("a.mov").ok());
  const std::vector<QImage> frames = movietest::ReadAllFrames(path_);
  ASSERT_EQ(frames.size(), 12u);
  // Linear motion: the corner advances by 10 x 6 pixels a frame.
  EXPECT_EQ(movietest::FirstDifference(Expected({{0, 0}, {10, 6}}), frames[1]), "");
  EXPECT_EQ(movietest::FirstDifference(
                Expected({{0, 0}, {10, 6}, {20, 12}, {30, 18}, {40, 24}, {50, 30}}), frames[5]), "");
  EXPECT_EQ(movietest::FirstDifference(Expected({}), frames[11]), "");
  EXPECT_EQ(engine_.LastX(), 50);
  EXPECT_EQ(engine_.LastY(), 30);
}

TEST_F(EngineTest, MoveErasesWhereThePreviousRenderEnded) {
  ASSERT_TRUE(RenderTo("a.mov").ok());
  // The next render's frame picture is new: its first frame erases around the
  // last corner of the render before, then draws frame 1.
  s_.mode = DrawingMode::Move;
  s_.steps = 2;
  ASSERT_TRUE(RenderTo("b.mov").ok());
  const std::vector<QImage> frames = movietest::ReadAllFrames(path_);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(movietest::FirstDifference(Expected({{0, 0}}), frames[0]), "");
  EXPECT_EQ(movietest::FirstDifference(Expected({{50, 30}}), frames[1]), "");
}

TEST_F(EngineTest, StopEndsTheRenderAtItsNextFrameAndNothingIsKept) {
  s_.steps = 2000000000;
  s_.movieWidth = s_.movieHeight = 8;
  const RenderResult result = RenderTo("stopped.mov", [this] { engine_.Stop(); });
  EXPECT_EQ(result.status, RenderResult::Status::Stopped);
  EXPECT_TRUE(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
  // Quitting is final: a later render stops before its first frame.
  s_.steps = 3;
  EXPECT_EQ(RenderTo("later.mov").status, RenderResult::Status::Stopped);
}

TEST_F(EngineTest, AFrameThatCannotBeSavedFailsTheRenderWithItsPath) {
  PicturePtr frame = NewPicture(60, 40, 32);
  EditableMoviePtr movie = CreateMovieAt(dir_.path() + "/m.mov");
  QTVideoTrackPtr track = movie->NewVideoTrack(60, 40, 1.0);
  FrameFolder missing(dir_.path() + "/no/such/folder");
  const RenderResult result = engine_.Render(s_, *frame, *track, dir_.path() + "/m.mov", &missing);
  EXPECT_EQ(result.status, RenderResult::Status::Failed);
  // The reason first, and the path once.
  EXPECT_TRUE(result.error.startsWith("Frame not saved: ")) << result.error.toStdString();
  EXPECT_TRUE(result.error.endsWith(" - " + dir_.path() + "/no/such/folder/frame01")) << result.error.toStdString();
}
