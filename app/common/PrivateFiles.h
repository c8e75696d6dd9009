// Owner-only files and folders for what holds callers' data: messages, logs, the call database and
// the recording spool (folders 0700, files 0600).
#pragma once

#include <QString>

namespace PrivateFiles {

// Creates folder (and its parents) when missing and makes it owner-only. @return false when it
// cannot be created.
bool makeFolder(const QString& folder);

// Makes folder owner-only, and with recursive also every folder and file below it; symbolic links
// (folder itself included) are neither followed nor changed. @return false when something could not
// be changed.
bool tighten(const QString& folder, bool recursive);

} // namespace PrivateFiles
