#include "ftp/proto/Paths.h"

#include <QStringList>

namespace tidewick::ftp::proto {

bool wildcardMatch(const QString& pattern, const QString& name) {
  if (pattern.isEmpty() || pattern == QLatin1String("*") || pattern == QLatin1String("*.*")) return true;
  // Iterative matcher with one backtrack point for the last "*".
  qsizetype p = 0, n = 0, starP = -1, starN = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == QLatin1Char('?') || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == QLatin1Char('*')) {
      starP = p++;
      starN = n;
    } else if (starP >= 0) {
      p = starP + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == QLatin1Char('*')) ++p;
  return p == pattern.size();
}

QString joinRemote(const QString& folder, const QString& name) {
  if (folder.isEmpty()) return name;
  if (folder.endsWith(QLatin1Char('/'))) return folder + name;
  return folder + QLatin1Char('/') + name;
}

QString resolveRemote(const QString& folder, const QString& target) {
  const QString path = target.startsWith(QLatin1Char('/')) ? target : joinRemote(folder, target);
  if (!path.startsWith(QLatin1Char('/'))) return QString();
  QStringList parts;
  for (const QString& part : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
    if (part == QLatin1String(".")) continue;
    if (part == QLatin1String("..")) {
      if (!parts.isEmpty()) parts.removeLast();
      continue;
    }
    parts << part;
  }
  return QLatin1Char('/') + parts.join(QLatin1Char('/'));
}

SplitMask splitMask(const QString& mask) {
  qsizetype cut = mask.lastIndexOf(QLatin1Char('/'));
  const qsizetype back = mask.lastIndexOf(QLatin1Char('\\'));
  if (back > cut) cut = back;
  if (cut < 0) return {QString(), mask};
  QString folder = mask.left(cut);
  // "/pub\docs\*": the older separator may stand inside the folder part too.
  if (back >= 0) folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
  if (folder.isEmpty() && mask.startsWith(QLatin1Char('/'))) folder = QStringLiteral("/");
  return {folder, mask.mid(cut + 1)};
}

QString unsafeNameReason(const QString& name) {
  if (name.isEmpty()) return QStringLiteral("the name is empty");
  if (name == QLatin1String(".") || name == QLatin1String("..")) return QStringLiteral("the name is \"%1\"").arg(name);
  if (name.contains(QLatin1Char('/'))) return QStringLiteral("the name holds \"/\"");
  if (name.contains(QChar(0))) return QStringLiteral("the name holds a NUL character");
  if (name.contains(QLatin1Char('\r')) || name.contains(QLatin1Char('\n')))
    return QStringLiteral("the name holds a line break");
  return QString();
}

} // namespace tidewick::ftp::proto
