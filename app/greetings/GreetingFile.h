// Stores a new greeting in the greetings folder: 8000 Hz mono 16-bit PCM, as the line plays it,
// replacing an existing greeting only with a complete file.
#pragma once

#include <QString>

class GreetingFile
{
public:
    // Converts source (any rate and channel count the sound component reads) to 8000 Hz mono 16-bit
    // PCM at target, written beside it first and then renamed over it. Raises kalvo::VbError (53 when
    // source is missing, 75 when it cannot be read or target cannot be written).
    static void store(const QString& source, const QString& target);
};
