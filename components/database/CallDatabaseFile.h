// Opening the call database's file for the stores that keep their own tables beside the calls.
#pragma once

#include <QString>

struct sqlite3;

namespace kalvo {

// Opens <callsFolder>/calls.sqlite3 read-write, making the folder when missing and the file
// owner-only when new, in WAL mode with full syncs and a 5 s wait for another writer.
// @return the handle (the caller closes it), or nullptr with why in error; path is set either way.
sqlite3* openCallDatabaseFile(const QString& callsFolder, QString& path, QString& error);

} // namespace kalvo
