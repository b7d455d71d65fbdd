#include "log/SaveLog.h"

#include "log/LogList.h"
#include "settings/Globals.h"
#include "ui/UserPrompts.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace tidewick::log {

using ui::UserPrompts;

namespace {

const QString kTitle = QStringLiteral("Tidewick");

// The name becomes one file in the Log folder: a "/" would reach into other folders and NUL ends
// a file name early, so neither may be part of it.
bool usableName(const QString& name) {
  return !name.contains(QLatin1Char('/')) && !name.contains(QChar(0)) && name.toUtf8().size() + 4 <= 255;
}

} // namespace

QString SaveLogLine(QWidget* parent, UserPrompts& prompts, const LogList& list) {
  const QString text = list.currentText();
  if (text.isEmpty()) {
    prompts.message(parent, kTitle, QStringLiteral("Nothing to be saved!"), UserPrompts::OkOnly,
                    UserPrompts::Icon::Warning);
    return {};
  }

  const QString name = prompts.input(parent, QStringLiteral("Log File"), QStringLiteral("Type name for the log file:"));
  if (name.isEmpty()) {
    prompts.notice(parent, kTitle, QStringLiteral("No name entered, quiting"));
    return {};
  }
  if (!usableName(name)) {
    QString shown = name;
    shown.replace(QChar(0), QStringLiteral("\\0"));
    prompts.message(parent, kTitle,
                    QStringLiteral("\"%1\" cannot be a file name: a name may not hold \"/\" and may not be longer than "
                                   "250 bytes. Nothing was saved.")
                        .arg(shown),
                    UserPrompts::OkOnly, UserPrompts::Icon::Warning);
    return {};
  }

  const QString path = settings::AppFilePath(QStringLiteral("Log/") + name + QStringLiteral(".log"));
  QDir().mkpath(QFileInfo(path).absolutePath());

  // Written beside the target and renamed over it: the file is either the new line or untouched.
  QSaveFile file(path);
  const QByteArray bytes = text.toUtf8();
  bool written = file.open(QIODevice::WriteOnly);
  if (written) {
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    written = file.write(bytes) == bytes.size() && file.commit();
  }
  if (!written) {
    const QString reason = file.errorString();
    file.cancelWriting();
    prompts.message(
        parent, kTitle,
        QStringLiteral("The log could not be saved as:\n%1\n%2").arg(QDir::toNativeSeparators(path), reason),
        UserPrompts::OkOnly, UserPrompts::Icon::Warning);
    return {};
  }

  prompts.notice(parent, kTitle, QStringLiteral("File saved as: \n%1").arg(QDir::toNativeSeparators(path)));
  return path;
}

} // namespace tidewick::log
