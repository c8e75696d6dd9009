// The program's own pictures: the window and tray icon, its empty blink frame, and the toolbar icons.
#pragma once

#include <QIcon>
#include <QString>

namespace FrameIcons {

// The program's icon (window, tray, about box): a handset over a recording spool.
QIcon appIcon();
// The empty picture the tray icon blinks to and is left with when the program ends.
QIcon emptyIcon();
// The icon of a toolbar key ("OnOff", "On", "Back", "Next", "Save", "Delete", "Clear", "Log",
// "Events", "Actions", "Options", "Add", "Play", "Stop"); a null icon for an unknown key.
QIcon toolIcon(const QString& key);

} // namespace FrameIcons
