// The control's message boxes, with a seam for tests: KALVO_CONTROL_MESSAGE_LOG names a file that
// receives each text (one line) instead of a window.
#pragma once

#include <string>

namespace korvan {

class ControlMessageBox
{
public:
    // Shows text in a plain modal message box with an OK button (or logs it, see above).
    static void show(const std::string& text);
};

} // namespace korvan
