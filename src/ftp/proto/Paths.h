#pragma once

#include <QString>

namespace tidewick::ftp::proto {

// Wildcard match with "*" (any run) and "?" (one character), case-sensitive as remote names are.
// An empty pattern, "*" and "*.*" match every name: "*.*" means "all files" in Tidewick's masks,
// names without a dot included.
bool wildcardMatch(const QString& pattern, const QString& name);

// Remote paths are always joined with "/".
QString joinRemote(const QString& folder, const QString& name);

// The absolute remote path that `target` names when seen from `folder`, with "." and ".." resolved
// by their spelling ("/a/b" and "../c" give "/a/c"; "/x/./y/" gives "/x/y"). Empty when neither
// is an absolute "/" path.
QString resolveRemote(const QString& folder, const QString& target);

// Splits a mask such as "/pub/docs/*.txt" into its folder ("/pub/docs") and pattern ("*.txt").
// A mask without a separator has an empty folder. Masks built with a backslash before the last
// part ("docs\*", as queue files from older versions hold) are split there as well.
struct SplitMask {
  QString folder;
  QString pattern;
};
SplitMask splitMask(const QString& mask);

// Why a name listed by a server must not become a local file name, or an empty text when it may:
// "." and "..", names with "/" or NUL (they would leave the target folder), and names with CR or
// LF (they cannot travel in a command).
QString unsafeNameReason(const QString& name);

} // namespace tidewick::ftp::proto
