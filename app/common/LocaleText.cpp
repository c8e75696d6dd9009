// Dates and times as the user's locale writes them.
#include "LocaleText.h"

#include <QLocale>

namespace LocaleText {

QString shortDate(const QDate& date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString timeWithSeconds(const QTime& time)
{
    QLocale locale;
    QString format = locale.timeFormat(QLocale::ShortFormat);
    // Short formats leave out the seconds; put them after the minutes with the same separator.
    if (!format.contains('s')) {
        qsizetype minutes = format.indexOf("mm");
        if (minutes > 0)
            format.insert(minutes + 2, format.mid(minutes - 1, 1) + "ss");
        else
            format = "HH:mm:ss";
    }
    return locale.toString(time, format);
}

} // namespace LocaleText
