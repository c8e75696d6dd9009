// The main window's placement kept in the settings, in twips: SetView saves it, GetView restores it.
#pragma once

class QWidget;
struct Settings;
struct WindowPlacement;

namespace WindowView {

// 15 twips a pixel at the desktop's usual 96 dots per inch.
constexpr int kTwipsPerPixel = 15;

// Stores the window's placement through the settings writer, only while the window is not hidden
// to the tray and is in the normal state.
void SetView(const QWidget& window, bool windowHidden, Settings& settings);

// Moves and sizes the window to the stored placement while it is in the normal state; a
// coordinate that did not load leaves the window's own. The window ends up inside its screen.
void GetView(QWidget& window, const WindowPlacement& view);

} // namespace WindowView
