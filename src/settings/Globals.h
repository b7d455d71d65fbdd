#pragma once
// Shared procedures: the Tidewick home and its files, existence tests, INI values, the trash, and
// the character shift that profiles and queue files store names and passwords with.

#include <QString>

#include <optional>

namespace tidewick::settings {

namespace ini {
class Document;
}

// The program version as "major.minor.revision".
QString ProgramVersion();
// The release as users and the maker's version file name it: "major.minor" ("3.1").
QString ReleaseVersion();

// A setting with a default for a missing or blank value (the maker's addresses).
QString valueOrDefault(const QString& key, const char* fallback);

// A path below the Tidewick home ($TIDEWICK_HOME, else $XDG_DATA_HOME/Tidewick).
QString AppFilePath(const QString& relativePath);

bool FileExists(const QString& path);   // a plain file (following links); folders are not found
bool FolderExists(const QString& path); // a file or a folder
void DeleteFileQuietly(const QString& path);

// INI values, read whole. A missing file, section or key, or a value beginning with
// "(Unassigned)", reads as the empty text.
QString ReadIniString(const QString& file, const QString& section, const QString& key);
// Non-zero on success. Note the argument order, which differs from ReadIniString's.
int WriteIniString(const QString& section, const QString& key, const QString& value, const QString& file);
// The same on a document read once, for callers that read or write many values of one file and
// then save it once.
QString ReadIniString(const ini::Document& file, const QString& section, const QString& key);
// What ReadIniString makes of a value as the file holds it (nothing: the key is missing).
QString IniStringOf(const std::optional<QString>& stored);
int WriteIniString(const QString& section, const QString& key, const QString& value, ini::Document& file);

QString withTrailingSlash(const QString& path); // appends "/" unless the trimmed text ends with one
QString StripNulls(const QString& text);

// Sends `path` (a file or a folder) to the desktop trash, or deletes it for good.
enum class Removal { ToTrash, ForGood };
bool RecycleFile(const QString& path, Removal removal);

// The character shift: +10 on every byte of the UTF-8 text. The result holds one character per
// byte (0..255), so it survives the UTF-8 INI files unchanged; DecodeString undoes it.
QString EncodeString(const QString& text);
QString DecodeString(const QString& text);

// The number a text starts with: blanks skipped, an optional sign, digits with an optional
// fraction; 0 when the text starts with none. Numbers typed into settings and stored in queue files
// ("1000 kb", "21 ") are read this way.
double LeadingNumber(const QString& text);

// Version reset and the start-up entry.
void SetStartupEntry(const QString& commandLine);
void RemoveStartupEntry();
bool IsStoredVersion(const QString& version);
void StoreVersion(const QString& version);
void ResetStoredSettings();
// The program the start-up entry starts: this one when it is installed; otherwise the installed
// "tidewick" that PATH finds, when there is one; otherwise this one.
QString StartupProgram();
// The command line of the start-up entry: StartupProgram(), then " /STARTUP".
QString StartupCommandLine();

} // namespace tidewick::settings
