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

// From now on every file and folder this process (and the helpers it starts) creates is owner-only
// unless asked otherwise: greetings, temporary takes and moved messages included. The first call
// remembers the user's own mask.
void ownerOnlyByDefault();
// The file-creation mask the user started the program with, for programs started on the user's
// behalf.
unsigned userMask();

} // namespace PrivateFiles
