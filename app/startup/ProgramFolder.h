// The program folder: greetings, sounds, logs, the call database, help and by default the messages.
#pragma once

#include <QString>

namespace ProgramFolder {

// $KALVO_HOME, else $XDG_DATA_HOME/kalvo, else ~/.local/share/kalvo; no trailing "/".
QString path();

// Where the files that seed a new program folder come from: the installed share/kalvo beside the
// executable's bin/, else the source tree's data/ when running from a build.
QString seedSource();

// Creates the missing sub-folders of folder and copies every file of seed that folder lacks.
// Files the user already has are never replaced, except those of Help/, which are the program's
// and are brought up to the seed's version. The folder and its sub-folders are owner-only; logs,
// calls, messages and the recording spool are tightened file by file. Returns false when the
// folder cannot be made.
bool ensure(const QString& folder, const QString& seed);

} // namespace ProgramFolder
