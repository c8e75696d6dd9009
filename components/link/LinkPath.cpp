// Where the local socket of a link number lives.
#include "LinkPath.h"

#include <QDir>
#include <QStandardPaths>

namespace kalvo {

QString linkSocketPath(int number)
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return QDir(folder).filePath(QStringLiteral("kalvo-link-%1").arg(number));
}

} // namespace kalvo
