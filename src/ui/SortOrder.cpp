#include "ui/SortOrder.h"

#include <algorithm>
#include <numeric>

namespace tidewick::ui {

SortKey SortKey::text(const QString& text) {
  SortKey key;
  key.m_present = true;
  key.m_text = text.toCaseFolded();
  return key;
}

SortKey SortKey::number(std::optional<qint64> number) {
  SortKey key;
  key.m_present = number.has_value();
  key.m_number = number.value_or(0);
  return key;
}

SortKey SortKey::time(const QDateTime& time) {
  SortKey key;
  key.m_present = time.isValid();
  key.m_number = key.m_present ? time.toMSecsSinceEpoch() : 0;
  return key;
}

int SortKey::compare(const SortKey& other) const {
  if (m_present != other.m_present) return m_present ? 1 : -1;
  if (m_number != other.m_number) return m_number < other.m_number ? -1 : 1;
  return m_text.compare(other.m_text);
}

std::vector<int> sortedRows(const std::vector<SortKey>& keys, Qt::SortOrder order) {
  std::vector<int> rows(keys.size());
  std::iota(rows.begin(), rows.end(), 0);
  std::stable_sort(rows.begin(), rows.end(), [&](int a, int b) {
    const int c = keys[static_cast<size_t>(a)].compare(keys[static_cast<size_t>(b)]);
    return order == Qt::AscendingOrder ? c < 0 : c > 0;
  });
  return rows;
}

} // namespace tidewick::ui
