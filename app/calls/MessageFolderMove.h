// Moves the recorded message files of every call record from one messages folder to another.
#pragma once

#include <QString>
#include <functional>

namespace kalvo {
class CallDatabase;
}

class MessageFolderMove
{
public:
    using LogLine = std::function<void(const QString&)>;

    struct Result
    {
        int moved = 0;  // files now in the new folder (0 when any failed)
        int failed = 0; // files that could not be moved
        QString reason; // why the first of them could not
    };

    // Visits every record; records of calls without a message ("Type" "-1") are skipped. A file that
    // cannot be moved is logged under "ErrcmdBrowsMessagesPath " and the next record is handled.
    // When any file could not be moved, the ones that were go back, so every message stays in one
    // folder.
    static Result move(kalvo::CallDatabase& database, const QString& oldFolder, const QString& newFolder,
                       const LogLine& log);

    // Moves one file; a file of that name in the new folder is never replaced (error 58). Across file
    // systems the file is copied owner-only, flushed to disk and only then removed from the old
    // folder; file systems without hard links (FAT, exFAT) are handled. Raises kalvo::VbError on
    // failure, leaving the old file in place.
    static void moveFile(const QString& from, const QString& to);
};
