// The save-file dialog seam.
#include "FileDialog.h"

#include <QFileDialog>
#include <QList>
#include <optional>

namespace {
std::optional<QString> g_next;
}

QString FileDialog::getSaveFileName(QWidget* owner, const QString& title, const QString& initialName,
                                    const QString& filter)
{
    if (g_next) {
        QString path = *g_next;
        g_next.reset();
        return path;
    }
    // Qt centres a dialog on its parent by itself; replacing a file is allowed without asking.
    return QFileDialog::getSaveFileName(owner, title, initialName, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

void FileDialog::scriptNext(const QString& path)
{
    g_next = path;
}
