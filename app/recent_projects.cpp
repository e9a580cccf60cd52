#include "app/recent_projects.h"

#include <QSettings>
#include <QStandardPaths>

namespace {

const QString kKey = QStringLiteral("recent/projects");

// Found afresh each time, so that the file follows $XDG_CONFIG_HOME.
QSettings Settings() {
  return QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                       QStringLiteral("/velostrip/velostrip.conf"),
                   QSettings::IniFormat);
}

void Store(QStringList list) {
  while (list.size() > RecentProjects::kMost) list.removeLast();
  QSettings settings = Settings();
  settings.setValue(kKey, list);
  settings.sync();
}

}  // namespace

namespace RecentProjects {

QStringList List() {
  QStringList list = Settings().value(kKey).toStringList();
  list.removeAll(QString());
  list.removeDuplicates();
  while (list.size() > kMost) list.removeLast();
  return list;
}

void Add(const QString& path) {
  QStringList list = List();
  list.removeAll(path);
  list.prepend(path);
  Store(list);
}

void Remove(const QString& path) {
  QStringList list = List();
  list.removeAll(path);
  Store(list);
}

void Clear() { Store({}); }

}  // namespace RecentProjects
