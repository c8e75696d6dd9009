// Dates and times as the user's locale writes them: its short date, and its time with seconds.
#pragma once

#include <QDate>
#include <QString>
#include <QTime>

namespace LocaleText {

// The locale's short date, e.g. "12/7/26" or "07.12.26".
QString shortDate(const QDate& date);
// The locale's time, always with seconds, e.g. "2:05:07 PM" or "14:05:07".
QString timeWithSeconds(const QTime& time);
// A length in seconds as minutes and seconds, rounded to the second: "0:11", "12:05".
QString minutesSeconds(double seconds);
// A stored length ("10.86" or "10,86" as the locale wrote it) as minutesSeconds; an empty or
// unreadable text stays as it is.
QString minutesSeconds(const QString& storedSeconds);
// The seconds of a stored length; ok is false (and 0 returned) when it is no number.
double storedSeconds(const QString& stored, bool* ok = nullptr);

} // namespace LocaleText
