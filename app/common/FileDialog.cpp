// The file and folder dialog seam.
#include "FileDialog.h"

#include <QDir>
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
    // A bare name starts in the user's home, never in whatever folder Kalvo was started from.
    const QString start =
        QDir::isAbsolutePath(initialName) ? initialName : QDir::home().filePath(initialName);
    return QFileDialog::getSaveFileName(owner, title, start, filter, nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

QString FileDialog::getOpenFileName(QWidget* owner, const QString& title, const QString& filter)
{
    if (auto scripted = takeScripted())
        return *scripted;
    return QFileDialog::getOpenFileName(owner, title, QDir::homePath(), filter);
}

QString FileDialog::getExistingDirectory(QWidget* owner, const QString& title, const QString& startFolder)
{
    if (auto scripted = takeScripted())
        return *scripted;
    const QString start = QDir(startFolder).exists() ? startFolder : QDir::homePath();
    return QFileDialog::getExistingDirectory(owner, title, start, QFileDialog::ShowDirsOnly);
}

void FileDialog::scriptNext(const QString& path)
{
    g_next = path;
}
