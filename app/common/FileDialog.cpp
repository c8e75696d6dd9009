// The file and folder dialog seam.
#include "FileDialog.h"

#include <QFileDialog>
#include <QList>
#include <optional>

namespace {
std::optional<QString> g_next;

std::optional<QString> takeScripted()
{
    std::optional<QString> path = g_next;
    g_next.reset();
    return path;
}
} // namespace

QString FileDialog::getSaveFileName(QWidget* owner, const QString& title, const QString& initialName,
                                    const QString& filter)
{
    if (auto scripted = takeScripted())
        return *scripted;
    // Qt centres a dialog on its parent by itself; replacing a file is allowed without asking.
    return QFileDialog::getSaveFileName(owner, title, initialName, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString FileDialog::getOpenFileName(QWidget* owner, const QString& title, const QString& filter)
{
    if (auto scripted = takeScripted())
        return *scripted;
    return QFileDialog::getOpenFileName(owner, title, QString(), filter);
}

QString FileDialog::getExistingDirectory(QWidget* owner, const QString& title)
{
    if (auto scripted = takeScripted())
        return *scripted;
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

void FileDialog::scriptNext(const QString& path)
{
    g_next = path;
}
