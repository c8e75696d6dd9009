// The window placement.
#include "WindowView.h"

#include "Settings.h"
#include "mdlReg.h"

#include <QWidget>

namespace WindowView {

namespace {
void store(const char* name, float twips)
{
    // Stored as the decimal form of a single-precision number, as the loader reads it back.
    mdlReg::SetRegValue(mdlReg::HKeyLocalMachine, mdlReg::kSettingsKey, name, 1, QString::number(twips));
}
} // namespace

void SetView(const QWidget& window, bool windowHidden, WindowPlacement& view)
{
    if (windowHidden || window.windowState() != Qt::WindowNoState)
        return;
    view.MeTop = window.y() * kTwipsPerPixel;
    view.MeLeft = window.x() * kTwipsPerPixel;
    view.MeWinState = 0;
    view.MeWidth = window.width() * kTwipsPerPixel;
    view.MeHeight = window.height() * kTwipsPerPixel;
    store("MeTop", float(view.MeTop));
    store("MeLeft", float(view.MeLeft));
    store("MeWinState", 0);
    store("MeWidth", float(view.MeWidth));
    store("MeHeight", float(view.MeHeight));
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
}

} // namespace WindowView
