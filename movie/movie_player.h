#pragma once
// The preview player: plays a movie file in a loop, starting at once, and
// takes the movie's size. Frames are decoded one at a time from the file.
// Play/pause and step controls appear over the bottom of the picture while
// the pointer is over the player. Set a smaller size and the picture is
// scaled down to it.
#include <QImage>
#include <QTimer>
#include <QWidget>
#include <memory>

#include "movie/movie_reader.h"

class MoviePlayer : public QWidget {
  Q_OBJECT
 public:
  explicit MoviePlayer(QWidget* parent = nullptr);
  ~MoviePlayer() override;

  void SetMovie(const MoviePtr& movie);  // nil: shows nothing
  MoviePtr GetMovie() const { return movie_; }

  bool IsPlaying() const;
  void Play();
  void Pause();
  void StepForward();
  void StepBackward();
  int CurrentFrame() const { return current_; }  // 0-based
  QImage CurrentImage() const { return image_; }
  // The pixels of frame k of the movie being shown (for tests).
  QImage FrameImage(int k);

 protected:
  void paintEvent(QPaintEvent*) override;
  void enterEvent(QEnterEvent*) override;
  void leaveEvent(QEvent*) override;
  void mousePressEvent(QMouseEvent*) override;
  void keyPressEvent(QKeyEvent*) override;  // space: play/pause; left/right arrows: step

 private:
  void ShowFrame(int k);
  void Tick();
  QRect ControlBar() const;  // the play/pause and step controls, over the bottom of the picture

  MoviePtr movie_;
  std::unique_ptr<MovieReader> reader_;
  QTimer timer_;
  QImage image_;
  int current_ = -1;
  bool hover_ = false;
};
