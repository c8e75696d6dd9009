// The window placement.
#include "WindowView.h"

#include "ScreenFit.h"
#include "Settings.h"
#include "SettingsWriter.h"

#include <QWidget>

namespace WindowView {

void SetView(const QWidget& window, bool windowHidden, Settings& settings)
{
    if (windowHidden || window.windowState() != Qt::WindowNoState)
        return;
    WindowPlacement placed;
    placed.MeTop = window.y() * kTwipsPerPixel;
    placed.MeLeft = window.x() * kTwipsPerPixel;
    placed.MeWidth = window.width() * kTwipsPerPixel;
    placed.MeHeight = window.height() * kTwipsPerPixel;
    SettingsWriter(settings).PutView(placed);
}

void GetView(QWidget& window, const WindowPlacement& view)
{
    if (window.windowState() != Qt::WindowNoState)
        return;
    const int32_t unset = WindowPlacement::kUnset;
    if (view.MeTop != unset && view.MeLeft != unset)
        window.move(view.MeLeft / kTwipsPerPixel, view.MeTop / kTwipsPerPixel);
    if (view.MeWidth != unset && view.MeHeight != unset && view.MeWidth > 0 && view.MeHeight > 0)
        window.resize(view.MeWidth / kTwipsPerPixel, view.MeHeight / kTwipsPerPixel);
    // A place stored on another, larger screen (or one no longer there) comes back onto this one.
    ScreenFit::fit(window);
}

} // namespace WindowView
