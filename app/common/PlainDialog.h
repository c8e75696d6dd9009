// Dialogs and message boxes are plain dialogs: a title and a close button, never the minimise and
// maximise buttons of a main window, whatever the window manager would give them by default.
#pragma once

#include <QWidget>

inline void makePlainDialog(QWidget& dialog)
{
    dialog.setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint);
}
