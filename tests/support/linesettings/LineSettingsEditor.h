// Opening a line's own settings dialog the way a user does, for the line dialog tests.
#pragma once

#include "frmMain.h"

#include <QDialog>
#include <QString>
#include <functional>

namespace kalvo::test {

// Opens the options dialog over form, presses "Line Settings..." and lets fill act on the line's own
// dialog, which must carry the object name dialogName; a dialog fill leaves open is cancelled.
void editLineSettings(frmMain& form, const QString& dialogName, const std::function<void(QDialog&)>& fill);

} // namespace kalvo::test
