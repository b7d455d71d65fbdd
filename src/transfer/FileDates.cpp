#include "transfer/FileDates.h"

#include <QLocale>

namespace tidewick::transfer {

namespace {

qint64 floorDiv(qint64 value, qint64 step) {
  const qint64 q = value / step;
  return (value % step != 0 && value < 0) ? q - 1 : q;
}

} // namespace

std::optional<int> compareListedDate(const QDateTime& listed, ftp::DatePrecision precision, const QDateTime& local) {
  if (!listed.isValid() || !local.isValid()) return std::nullopt;
  qint64 a = 0;
  qint64 b = 0;
  switch (precision) {
    case ftp::DatePrecision::Day:
      a = listed.toUTC().date().toJulianDay();
      b = local.toUTC().date().toJulianDay();
      break;
    case ftp::DatePrecision::Minute:
      a = floorDiv(listed.toSecsSinceEpoch(), 60);
      b = floorDiv(local.toSecsSinceEpoch(), 60);
      break;
    case ftp::DatePrecision::Second:
    case ftp::DatePrecision::Unknown: // a date without a stated precision is taken as exact
      a = listed.toSecsSinceEpoch();
      b = local.toSecsSinceEpoch();
      break;
  }
  return a < b ? -1 : (a > b ? 1 : 0);
}

QString generalDateText(const QDateTime& date) {
  if (!date.isValid()) return {};
  const QDateTime local = date.toLocalTime();
  const QLocale locale = QLocale::system();
  if (local.time() == QTime(0, 0)) return locale.toString(local.date(), QLocale::ShortFormat);
  return locale.toString(local, QLocale::ShortFormat);
}

} // namespace tidewick::transfer
