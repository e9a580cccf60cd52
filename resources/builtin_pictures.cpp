// Reading the built-in pictures from the compiled-in resources.
#include "resources/builtin_pictures.h"

#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QString>
#include <map>
#include <mutex>

// The resources are compiled into a static library, so nothing would pull
// their registration into the program unless it is called explicitly.
// Q_INIT_RESOURCE has to be used outside any namespace.
static void InitBuiltinResources() { Q_INIT_RESOURCE(resources); }

namespace {

void EnsureResources() {
  static std::once_flag once;
  std::call_once(once, InitBuiltinResources);
}

std::mutex& CacheMutex() {
  static std::mutex m;
  return m;
}

std::map<int, PicturePtr>& Cache() {
  static std::map<int, PicturePtr> cache;
  return cache;
}

int g_reads = 0;

// The image flattened onto white, so any transparent part becomes white and
// with it transparent again when the picture is drawn.
QImage OnWhite(const QImage& source) {
  if (!source.hasAlphaChannel()) return source.convertToFormat(QImage::Format_RGB32);
  QImage out(source.size(), QImage::Format_RGB32);
  out.fill(Qt::white);
  QPainter p(&out);
  p.drawImage(0, 0, source);
  p.end();
  return out;
}

}  // namespace

PicturePtr BuiltinPicture(int resourceNumber) {
  EnsureResources();
  std::lock_guard<std::mutex> lock(CacheMutex());
  auto& cache = Cache();
  auto it = cache.find(resourceNumber);
  if (it != cache.end()) return it->second;

  ++g_reads;
  QImage image(QStringLiteral(":/pict_%1.png").arg(resourceNumber));
  PicturePtr pic;
  if (!image.isNull()) {
    pic = std::make_shared<Picture>(OnWhite(image));
    pic->Transparent = 1;
  }
  // A missing number is remembered too, so asking again costs no second read.
  cache.emplace(resourceNumber, pic);
  return pic;
}

int BuiltinPictureReadCount() {
  std::lock_guard<std::mutex> lock(CacheMutex());
  return g_reads;
}

PicturePtr ogg1() { return BuiltinPicture(182); }
PicturePtr ogg2() { return BuiltinPicture(183); }
PicturePtr ogg3() { return BuiltinPicture(184); }
PicturePtr ogg4() { return BuiltinPicture(185); }
PicturePtr ogg5() { return BuiltinPicture(186); }
PicturePtr ogg6() { return BuiltinPicture(187); }
PicturePtr ogg7() { return BuiltinPicture(188); }
PicturePtr Immagine1() { return BuiltinPicture(169); }
PicturePtr Untitled3() { return BuiltinPicture(168); }
PicturePtr Senzatitolo2() { return BuiltinPicture(174); }
PicturePtr Senzatitolo3() { return BuiltinPicture(175); }
PicturePtr Senzatitolo4() { return BuiltinPicture(176); }
PicturePtr Senzatitolo5() { return BuiltinPicture(177); }
PicturePtr Senzatitolo6() { return BuiltinPicture(178); }
PicturePtr Senzatitolo7() { return BuiltinPicture(179); }
PicturePtr Senzatitolo8() { return BuiltinPicture(180); }
PicturePtr Senzatitolo9() { return BuiltinPicture(181); }
PicturePtr Senzatitolo12() { return BuiltinPicture(172); }
PicturePtr Senzatitolo13() { return BuiltinPicture(173); }

QCursor cursore() {
  EnsureResources();
  // The pixmap is made on each call (cheap, and a QPixmap must not outlive the
  // application object), with the hot spot on the centre pixel.
  QPixmap pixmap(QStringLiteral(":/cursor_168.png"));
  if (pixmap.isNull()) return QCursor(Qt::CrossCursor);
  return QCursor(pixmap, (pixmap.width() - 1) / 2, (pixmap.height() - 1) / 2);
}
