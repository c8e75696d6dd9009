// Sound files converted to the line's format (8000 Hz mono 16-bit), kept so that a greeting in another
// format is converted once rather than at every call. An entry is named after the source file's path
// and identity (size and modification time): a changed source has a new name, and an entry is checked
// before it is played, so a damaged one is converted again.
#pragma once

#include "WaveDevice.h"

#include <QString>
#include <cstdint>

struct sf_private_tag;

namespace kalvo::sound {

class ConvertedCache
{
public:
    // The folder used when none is given: $KALVO_HOME/.converted, or the user's data folder's
    // kalvo/.converted.
    static QString defaultFolder();

    // The format entries are kept in.
    static bool isCachedFormat(const wave::WaveFormat& format) { return format == wave::WaveFormat{8000, 1}; }

    // The entry for the source file as it is now; empty when the source cannot be found.
    static QString entryPath(const QString& folder, const QString& source);

    // True when the file at path is a whole wave file of the cached format: its chunks fill the file
    // exactly and it holds at least one frame.
    static bool isWhole(const QString& path);
};

// Writes one entry while the source is being converted for playing; the entry appears under its
// name only when commit() is called after the last frame.
class CacheWriter
{
public:
    CacheWriter() = default;
    ~CacheWriter();
    CacheWriter(const CacheWriter&) = delete;
    CacheWriter& operator=(const CacheWriter&) = delete;

    // Starts writing entryPath's temporary file (creating the folder). @return false when it cannot
    // be written: the file is then played without being kept.
    bool open(const QString& entryPath);
    bool isOpen() const { return m_file != nullptr; }
    // Appends samples; a write error abandons the entry.
    void write(const int16_t* samples, size_t count);
    // Gives the entry its name and removes older entries of the same source.
    void commit();
    // Deletes the temporary file.
    void abandon();

private:
    sf_private_tag* m_file = nullptr;
    QString m_entry;
    QString m_temp;
    uint64_t m_frames = 0;
};

} // namespace kalvo::sound
