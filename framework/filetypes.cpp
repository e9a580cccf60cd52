#include "framework/filetypes.h"

#include <QHash>
#include <QMutex>

namespace {

struct Registry {
  QMutex mutex;
  QHash<QString, FileTypePtr> types;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// Types the program names without registering them first.
struct KnownType {
  const char* name;
  const char* label;
  const char* extensions;
};
constexpr KnownType kKnownTypes[] = {
    {"video/quicktime", "QuickTime movies", ".moov;.mov;.qt;.mqv"},
    {"image/pict", "PICT pictures", ".pict;.pct;.pic"},
};

const KnownType* FindKnown(const QString& name) {
  for (const KnownType& t : kKnownTypes)
    if (name == QLatin1String(t.name)) return &t;
  return nullptr;
}

QString AllFiles() { return QStringLiteral("All files (*)"); }

}  // namespace

void RegisterFileType(const FileTypePtr& type) {
  if (!type || type->Name.isEmpty()) return;
  Registry& r = TheRegistry();
  QMutexLocker lock(&r.mutex);
  r.types.insert(type->Name, type);
}

FileTypePtr FindFileType(const QString& name) {
  Registry& r = TheRegistry();
  QMutexLocker lock(&r.mutex);
  return r.types.value(name);
}

QStringList NameFiltersFor(const QString& typeName) {
  if (typeName == QLatin1String("text")) return {QStringLiteral("Text files (*.txt)"), AllFiles()};
  if (typeName == QLatin1String("special/any")) return {AllFiles()};

  const KnownType* known = FindKnown(typeName);
  QString extensions;
  if (const FileTypePtr type = FindFileType(typeName))
    extensions = type->Extensions;
  else if (known)
    extensions = QLatin1String(known->extensions);

  QStringList patterns;
  for (QString ext : extensions.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    ext = ext.trimmed();
    if (ext.startsWith(QLatin1Char('.'))) ext.remove(0, 1);
    if (!ext.isEmpty()) patterns << QStringLiteral("*.") + ext;
  }
  if (patterns.isEmpty()) return {AllFiles()};
  const QString label = known ? QLatin1String(known->label) : typeName;
  return {label + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')')};
}
