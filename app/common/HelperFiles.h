// Where the program finds its private files (libkorvan.so, Sayer): beside it, or installed in lib/kalvo.
#pragma once

#include <QString>

namespace HelperFiles {

// The folder holding the helper file name: the executable's own folder when the file is there (the
// build tree), otherwise the installed private folder. Empty when neither holds it.
QString folderOf(const QString& name);
// The full path of the helper file name, or an empty string when it is not found.
QString pathOf(const QString& name);
// A helper program: as pathOf finds it, else the first of that name on PATH; empty when neither.
QString programPath(const QString& name);

} // namespace HelperFiles
