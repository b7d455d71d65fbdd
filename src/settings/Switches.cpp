#include "settings/Switches.h"

#include "settings/Registry.h"
#include "settings/SettingsKeys.h"

namespace tidewick::settings {
namespace {

OptionControlReader& controlReader() {
  static OptionControlReader reader;
  return reader;
}

bool isLogOption(const QString& key) { return key == keys::DeleteLogOnStartup || key == keys::DeleteLogIfTooLarge; }

// What the options dialog loads into the control: checked (selected) when the key is missing, as
// the stored value says when it is a number (a boolean text for the log options), and unchecked
// for any other text.
bool dialogLoads(const QString& key) {
  if (value(key).isEmpty()) return true;
  if (isLogOption(key)) return storedBoolean(key).value_or(false);
  return storedNumber(key) == 1.0;
}

} // namespace

void setOptionControlReader(OptionControlReader reader) { controlReader() = std::move(reader); }

std::optional<double> numberFromText(const QString& text) {
  bool ok = false;
  const double number = text.trimmed().toDouble(&ok);
  if (!ok) return std::nullopt;
  return number;
}

namespace {
const QLatin1String kTrue("True");
const QLatin1String kFalse("False");
} // namespace

QString booleanText(bool on) { return on ? kTrue : kFalse; }

std::optional<bool> booleanFromText(const QString& text) {
  const QString trimmed = text.trimmed();
  if (trimmed.compare(kTrue, Qt::CaseInsensitive) == 0) return true;
  if (trimmed.compare(kFalse, Qt::CaseInsensitive) == 0) return false;
  const std::optional<double> number = numberFromText(trimmed);
  if (!number) return std::nullopt;
  return *number != 0;
}

std::optional<double> storedNumber(const QString& key) { return numberFromText(value(key)); }

std::optional<bool> storedBoolean(const QString& key) { return booleanFromText(value(key)); }

bool optionControlChecked(const QString& key) {
  if (controlReader()) {
    if (auto checked = controlReader()(key)) return *checked;
  }
  // The two log options are one choice: the dialog loads "on start" first and the size rule
  // last, so when both load selected the size option is the one that stays selected.
  if (key == keys::DeleteLogOnStartup)
    return dialogLoads(keys::DeleteLogOnStartup) && !dialogLoads(keys::DeleteLogIfTooLarge);
  return dialogLoads(key);
}

bool switchIsOn(const QString& key) {
  const bool stored = isLogOption(key) ? storedBoolean(key).value_or(false) : storedNumber(key).value_or(0.0) == 1.0;
  return stored || optionControlChecked(key);
}

} // namespace tidewick::settings
