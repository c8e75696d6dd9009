// Dates and times as the user's locale writes them.
#include "LocaleText.h"

#include <QLocale>
#include <algorithm>

namespace LocaleText {

QString shortDate(const QDate& date)
{
    return QLocale().toString(date, QLocale::ShortFormat);
}

QString minutesSeconds(double seconds)
{
    const int whole = int(std::max(0.0, seconds) + 0.5);
    return QString("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QChar('0'));
}

double storedSeconds(const QString& stored, bool* ok)
{
    bool read = false;
    double seconds = QLocale().toDouble(stored, &read);
    if (!read)
        seconds = QLocale::c().toDouble(stored, &read);
    if (ok)
        *ok = read;
    return read ? seconds : 0.0;
}

QString minutesSeconds(const QString& stored)
{
    bool ok = false;
    const double seconds = storedSeconds(stored, &ok);
    return ok ? minutesSeconds(seconds) : stored;
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
