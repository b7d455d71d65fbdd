#include "settings/Switches.h"

#include "settings/Register.h"

namespace tidewick {
namespace {

OptionControlReader& controlReader() {
  static OptionControlReader reader;
  return reader;
}

const QString kDeleteOnStart = QStringLiteral("DELETE LOG ON STARTUP");
const QString kDeleteIfSize = QStringLiteral("DELETE LOG IF SIZE EXCEEDS");

bool isLogOption(const QString& key) { return key == kDeleteOnStart || key == kDeleteIfSize; }

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
  const QString text = GetSetting(key, QString()).trimmed();
  bool ok = false;
  double value = text.toDouble(&ok);
  if (!ok) return std::nullopt;
  return value;
}

std::optional<bool> storedBoolean(const QString& key) {
  const QString text = GetSetting(key, QString()).trimmed();
  if (text.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0) return true;
  if (text.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0) return false;
  bool ok = false;
  double value = text.toDouble(&ok);
  if (!ok) return std::nullopt;
  return value != 0;
}

bool optionControlChecked(const QString& key) {
  if (controlReader()) {
    if (auto checked = controlReader()(key)) return *checked;
  }
  // The two log options are one choice: the dialog loads "on start" first and the size rule
  // last, so when both load selected the size option is the one that stays selected.
  if (key == kDeleteOnStart) return dialogLoads(kDeleteOnStart) && !dialogLoads(kDeleteIfSize);
  return dialogLoads(key);
}

bool SwitchIsOn(const QString& key) {
  const bool stored = isLogOption(key) ? storedBoolean(key).value_or(false) : storedNumber(key).value_or(0.0) == 1.0;
  return stored || optionControlChecked(key);
}

} // namespace tidewick
