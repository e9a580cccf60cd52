#include "app/desktop_identity.h"

#include <QGuiApplication>
#include <QIcon>
#include <QSize>
#include <QString>

#include "app/desktop_id.h"

// The icon's pictures are compiled into a static library, so nothing would
// pull their registration into the program unless it is called explicitly.
// Q_INIT_RESOURCE has to be used outside any namespace.
static void InitIconResources() { Q_INIT_RESOURCE(velostrip_icon); }

void ApplyDesktopIdentity() {
  InitIconResources();
  QGuiApplication::setDesktopFileName(QString::fromLatin1(kDesktopFileId));
  // Every size as drawn for it: the small ones are simplified, not scaled.
  QIcon icon;
  for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
    icon.addFile(QStringLiteral(":/velostrip_icon/velostrip_%1.png").arg(size), QSize(size, size));
  QGuiApplication::setWindowIcon(icon);
}
