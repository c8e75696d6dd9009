// Where the local socket of a link number lives.
#pragma once

#include <QString>

namespace kalvo {

// Path of the socket for link `number`: kalvo-link-NUMBER in XDG_RUNTIME_DIR (Qt's private
// runtime folder when that variable is unset).
QString linkSocketPath(int number);

} // namespace kalvo
