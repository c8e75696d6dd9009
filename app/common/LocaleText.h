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

} // namespace LocaleText
