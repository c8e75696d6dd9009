// Keeps windows on the screen they open on: a place off the screen is moved onto it and a window
// larger than the screen's free area is shrunk to it, for the main window and every dialog.
#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

namespace ScreenFit {

// The frame (window with its decorations) moved and shrunk so that it lies inside available.
QRect fitted(const QRect& frame, const QRect& available);

// Fits window to the free area of the screen its centre is on (the primary screen when it is on
// none). The decorations are counted as they are, or as a title bar before the window is shown.
void fit(QWidget& window);

// Fits every window and dialog of the program as it is shown. Once is enough.
void install();

} // namespace ScreenFit
