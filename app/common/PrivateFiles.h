// Owner-only files and folders for what holds callers' data: messages, logs, the call database and
// the recording spool (folders 0700, files 0600).
#pragma once

#include <QByteArray>
#include <QString>

namespace PrivateFiles {

// Writes text as the whole of the owner-only file path, through a temporary file renamed over it,
// so a crash leaves the old text or the new, never a part; the file's folder is made when missing.
// @return false when it could not be written (the old file is then kept).
bool writeWhole(const QString& path, const QByteArray& text);

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
