// The program folder's place on this system, for the program and the components that keep files in it.
#pragma once

#include <QString>

namespace kalvo {

// $KALVO_HOME, else $XDG_DATA_HOME/kalvo, else ~/.local/share/kalvo; no trailing "/".
QString programHome();

} // namespace kalvo
