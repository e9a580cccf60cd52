#include "main_window/render_progress.h"

#include <QPainter>
#include <algorithm>

#include "framework/controls.h"

namespace {
constexpr Color kBar = 0x000080;       // the layout's dark blue captions
constexpr Color kTrack = 0x8C8C8C;     // a shade darker than the backdrop
constexpr Color kCaption = 0x000080;
}  // namespace

RenderProgress::RenderProgress(QWidget* parent) : QWidget(parent) {
  setObjectName("RenderProgress");
  setAttribute(Qt::WA_TransparentForMouseEvents);  // a click here still reaches the backdrop
  TextStyle style;
  style.size = 9;
  ApplyTextStyle(this, style);
  hide();
}

void RenderProgress::Begin() {
  clock_.start();
  done_ = total_ = 0;
  hide();
}

void RenderProgress::Update(int done, int total) {
  done_ = done;
  total_ = total;
  if (isHidden()) {
    if (total <= 0 || !clock_.isValid() || clock_.elapsed() < delayMs_) return;
    show();
  }
  update();
}

void RenderProgress::End() {
  clock_.invalidate();
  hide();
}

QString RenderProgress::Text() const { return QStringLiteral("Rendering frame %1 of %2").arg(done_).arg(total_); }

void RenderProgress::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QString caption = Text();
  const int textWidth = fontMetrics().horizontalAdvance(caption) + 8;
  const QRect bar(textWidth, height() / 2 - 3, width() - textWidth, 6);
  p.setPen(ToQColor(kCaption));
  p.drawText(QRect(0, 0, textWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, caption);
  p.fillRect(bar, ToQColor(kTrack));
  if (total_ > 0) {
    const int filled = static_cast<int>(static_cast<long long>(bar.width()) * std::min(done_, total_) / total_);
    p.fillRect(QRect(bar.left(), bar.top(), filled, bar.height()), ToQColor(kBar));
  }
}
