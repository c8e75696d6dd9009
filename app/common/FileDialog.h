// The save-file dialog seam: a real dialog, or in tests the next scripted file name.
#pragma once

#include <QString>

class QWidget;

class FileDialog
{
public:
    // Shows a modal save dialog centred on the owner, starting at initialName, with one filter such
    // as "wav (*.wav)"; an existing file may be chosen without a question. Returns the chosen path,
    // or an empty text when cancelled.
    static QString getSaveFileName(QWidget* owner, const QString& title, const QString& initialName,
                                   const QString& filter);

    // For tests: the next dialog returns this path (empty = cancel) without being shown.
    static void scriptNext(const QString& path);
};
