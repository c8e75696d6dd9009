// The file and folder dialog seam: real dialogs, or in tests the next scripted answer.
#pragma once

#include <QString>

class QWidget;

class FileDialog
{
public:
    // Shows a modal save dialog centred on the owner, starting at initialName (a bare name in the
    // user's home), with one filter such
    // as "wav (*.wav)"; an existing file may be chosen without a question. Returns the chosen path,
    // or an empty text when cancelled.
    static QString getSaveFileName(QWidget* owner, const QString& title, const QString& initialName,
                                   const QString& filter);

    // Shows a modal open dialog for one existing file with one filter, starting in the user's home;
    // the working folder is left as it was. Returns the chosen path, or an empty text when cancelled.
    static QString getOpenFileName(QWidget* owner, const QString& title, const QString& filter);

    // Shows a modal folder browser for existing folders only, starting at startFolder (the user's
    // home when it does not exist). Returns the chosen folder (without a final "/" unless it is the
    // root), or an empty text when cancelled.
    static QString getExistingDirectory(QWidget* owner, const QString& title,
                                        const QString& startFolder = {});

    // For tests: the next dialog of any kind returns this path (empty = cancel) without being shown.
    static void scriptNext(const QString& path);
};
