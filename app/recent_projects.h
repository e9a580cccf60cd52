#pragma once
// File > "Open Recent": the last ten projects opened or saved, newest first,
// kept in the user's settings ($XDG_CONFIG_HOME/velostrip/velostrip.conf),
// which every copy of the program shares and reads afresh.
#include <QString>
#include <QStringList>

namespace RecentProjects {

constexpr int kMost = 10;

QStringList List();
// Puts the project at the top (once only), the eleventh going.
void Add(const QString& path);
void Remove(const QString& path);
void Clear();

}  // namespace RecentProjects
