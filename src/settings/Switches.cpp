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

// What the options dialog loads into the control when its key is missing: every switch the rule
// covers is checked by default.
constexpr bool kDialogDefault = true;

bool dialogLoads(const QString& key) {
  if (isLogOption(key)) return storedBoolean(key).value_or(kDialogDefault);
  return storedNumber(key).value_or(kDialogDefault ? 1.0 : 0.0) == 1.0;
}

} // namespace

void setOptionControlReader(OptionControlReader reader) { controlReader() = std::move(reader); }

std::optional<double> storedNumber(const QString& key) {
  const QString text = value(key).trimmed();
  bool ok = false;
  const double number = text.toDouble(&ok);
  if (!ok) return std::nullopt;
  return number;
}

std::optional<bool> storedBoolean(const QString& key) {
  const QString text = value(key).trimmed();
  if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) return true;
  if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) return false;
  bool ok = false;
  const double number = text.toDouble(&ok);
  if (!ok) return std::nullopt;
  return number != 0;
}

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
