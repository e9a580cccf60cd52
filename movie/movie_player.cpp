// The preview player: one decoded frame at a time, timed by a QTimer.
#include "movie/movie_player.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

MoviePlayer::MoviePlayer(QWidget* parent) : QWidget(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

MoviePlayer::~MoviePlayer() = default;

void MoviePlayer::SetMovie(const MoviePtr& movie) {
  timer_.stop();
  movie_ = movie;
  reader_.reset();
  image_ = QImage();
  current_ = -1;
  if (movie_) {
    auto reader = std::make_unique<MovieReader>();
    if (reader->Open(movie_->Path())) reader_ = std::move(reader);
  }
  if (reader_) {
    resize(reader_->Width(), reader_->Height());
    const double fps = reader_->FramesPerSecond() > 0 ? reader_->FramesPerSecond() : 8.0;
    timer_.setInterval(std::max(1, int(std::lround(1000.0 / fps))));
    ShowFrame(0);
    Play();
  }
  update();
}

bool MoviePlayer::IsPlaying() const { return timer_.isActive(); }

void MoviePlayer::Play() {
  if (reader_) timer_.start();
  update();
}

void MoviePlayer::Pause() {
  timer_.stop();
  update();
}

void MoviePlayer::StepForward() {
  Pause();
  Tick();
}

void MoviePlayer::StepBackward() {
  Pause();
  if (!reader_) return;
  const int n = reader_->FrameCount();
  if (n <= 0) return;
  ShowFrame(current_ <= 0 ? n - 1 : current_ - 1);
}

QImage MoviePlayer::FrameImage(int k) {
  // A reader of its own, so the playing position is not disturbed.
  if (!movie_) return {};
  MovieReader reader;
  if (!reader.Open(movie_->Path())) return {};
  return reader.Frame(k);
}

void MoviePlayer::ShowFrame(int k) {
  if (!reader_) return;
  QImage image = reader_->Frame(k);
  if (image.isNull() && k != 0) {  // past the real end of a file that claimed more frames
    k = 0;
    image = reader_->Frame(0);
  }
  if (image.isNull()) return;  // an empty movie keeps showing black
  image_ = std::move(image);
  current_ = k;
  update();
}

void MoviePlayer::Tick() {
  if (!reader_) return;
  const int n = reader_->FrameCount();
  if (n == 1 && current_ == 0) return;  // a still: nothing changes
  ShowFrame(n > 0 ? (current_ + 1) % n : current_ + 1);
}

QRect MoviePlayer::ControlBar() const {
  const int h = std::clamp(height() / 4, 12, 24);
  return QRect(0, height() - h, width(), h);
}

void MoviePlayer::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (!image_.isNull()) {
    if (image_.size() == size()) {
      p.drawImage(0, 0, image_);
    } else {
      p.setRenderHint(QPainter::SmoothPixmapTransform);
      p.drawImage(rect(), image_);
    }
  }
  if (!hover_ || !reader_) return;

  const QRect bar = ControlBar();
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(bar, QColor(0, 0, 0, 150));
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(235, 235, 235));
  const int third = bar.width() / 3;
  const qreal s = bar.height() * 0.5;  // glyph size
  auto centre = [&](int i) { return QPointF(bar.left() + third * i + third / 2.0, bar.center().y() + 0.5); };
  auto triangle = [&](QPointF c, bool right) {
    const qreal d = right ? s / 2 : -s / 2;
    QPainterPath path;
    path.moveTo(c.x() - d, c.y() - s / 2);
    path.lineTo(c.x() + d, c.y());
    path.lineTo(c.x() - d, c.y() + s / 2);
    path.closeSubpath();
    p.drawPath(path);
  };
  // Step back: a bar and a left triangle.
  QPointF c = centre(0);
  p.drawRect(QRectF(c.x() - s / 2 - s / 6, c.y() - s / 2, s / 6, s));
  triangle(QPointF(c.x() + s / 12, c.y()), false);
  // Play or pause.
  c = centre(1);
  if (IsPlaying()) {
    p.drawRect(QRectF(c.x() - s / 2.5, c.y() - s / 2, s / 4, s));
    p.drawRect(QRectF(c.x() + s / 2.5 - s / 4, c.y() - s / 2, s / 4, s));
  } else {
    triangle(c, true);
  }
  // Step forward: a right triangle and a bar.
  c = centre(2);
  triangle(QPointF(c.x() - s / 12, c.y()), true);
  p.drawRect(QRectF(c.x() + s / 2, c.y() - s / 2, s / 6, s));
}

void MoviePlayer::enterEvent(QEnterEvent*) {
  hover_ = true;
  update();
}

void MoviePlayer::leaveEvent(QEvent*) {
  hover_ = false;
  update();
}

void MoviePlayer::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !reader_) return QWidget::mousePressEvent(event);
  const QPoint pos = event->position().toPoint();
  if (!ControlBar().contains(pos)) {  // a click on the picture itself plays or pauses
    IsPlaying() ? Pause() : Play();
    return;
  }
  const int third = std::max(1, width() / 3);
  if (pos.x() < third)
    StepBackward();
  else if (pos.x() < 2 * third)
    IsPlaying() ? Pause() : Play();
  else
    StepForward();
}

void MoviePlayer::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Space:
      IsPlaying() ? Pause() : Play();
      break;
    case Qt::Key_Left:
      StepBackward();
      break;
    case Qt::Key_Right:
      StepForward();
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}
