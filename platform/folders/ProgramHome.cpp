// The program folder's place.
#include "ProgramHome.h"

#include <QDir>

namespace kalvo {

QString programHome()
{
    QString home = qEnvironmentVariable("KALVO_HOME");
    if (home.isEmpty()) {
        QString data = qEnvironmentVariable("XDG_DATA_HOME");
        if (data.isEmpty())
            data = QDir::homePath() + "/.local/share";
        home = data + "/kalvo";
    }
    while (home.size() > 1 && home.endsWith('/'))
        home.chop(1);
    return home;
}

} // namespace kalvo
