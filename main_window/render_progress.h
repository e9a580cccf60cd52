#pragma once
// How far a long render has come, shown in the free strip under the preview
// area: a thin bar and "Rendering frame 12 of 200". It lies over nothing but
// the preview area's grey backdrop, so no control moves or is hidden, and it
// leaves the window's title and log field alone.
#include <QElapsedTimer>
#include <QWidget>

class RenderProgress : public QWidget {
  Q_OBJECT
 public:
  explicit RenderProgress(QWidget* parent);

  // A render begins; it shows once it has lasted longer than the delay.
  void Begin();
  // Frames done of the render's total.
  void Update(int done, int total);
  // The render has ended: the strip goes.
  void End();

  // How long a render runs before it shows its progress (tests shorten it).
  void SetDelay(int milliseconds) { delayMs_ = milliseconds; }
  int Done() const { return done_; }
  int Total() const { return total_; }
  QString Text() const;

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QElapsedTimer clock_;
  int delayMs_ = 500;
  int done_ = 0, total_ = 0;
};
