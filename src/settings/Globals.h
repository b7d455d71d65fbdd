#pragma once
// Shared procedures: the Tidewick home and its files, existence tests, INI values, the trash, and
// the character shift that profiles and queue files store names and passwords with.

#include <QString>

namespace tidewick::ini {
class Document;
}

// The program version as "major.minor.revision".
QString ProgramVersion();

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
QString ReadIniString(const tidewick::ini::Document& file, const QString& section, const QString& key);
int WriteIniString(const QString& section, const QString& key, const QString& value, tidewick::ini::Document& file);

QString AddTrailingBackslash(const QString& path); // appends "/" unless the trimmed text ends with one
QString StripNulls(const QString& text);

// Sends `path` (a file or a folder) to the desktop trash when `allowUndo`, else deletes it for good.
bool RecycleFile(const QString& path, bool allowUndo);
constexpr bool FOF_ALLOWUNDO = true;

// The character shift: +10 on every byte of the UTF-8 text. The result holds one character per
// byte (0..255), so it survives the UTF-8 INI files unchanged; DecodeString undoes it.
QString EncodeString(const QString& text);
QString DecodeString(const QString& text);

// The leading number of a text, as the classic Val() reads it: blanks skipped, an optional sign,
// digits with an optional fraction; 0 when the text starts with none.
double LeadingNumber(const QString& text);

// Version reset and the start-up entry.
void SetStartupEntry(const QString& commandLine);
void RemoveStartupEntry();
bool IsStoredVersion(const QString& version);
void StoreVersion(const QString& version);
void ResetStoredSettings();
// The command line of the start-up entry: this executable, then " /STARTUP".
QString StartupCommandLine();
