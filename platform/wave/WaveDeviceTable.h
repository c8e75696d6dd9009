// The process's table of wave devices: sound-card devices numbered from 0 in the backend's order, and
// the line devices that telephony providers register in a separate id range, per direction.
#pragma once

#include "WaveDevice.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace kalvo::wave {

using WaveDeviceId = uint32_t;

// The first id of the line range; sound-card ids stay below it.
inline constexpr WaveDeviceId kLineWaveDeviceBase = 0x1000;
// Returned for "no device".
inline constexpr WaveDeviceId kNoWaveDevice = 0xFFFFFFFFu;

// Thread-safe. Wave-in and wave-out devices are numbered independently, as the multimedia API does.
// Devices are shared: a stream keeps its device alive after it leaves the table.
class WaveDeviceTable
{
public:
    // The process's table (it plays the operating system's device list).
    static WaveDeviceTable& instance();

    // Replaces the sound-card devices of one direction with devices, numbered 0.. in that order.
    void setSoundCardDevices(WaveDirection direction, std::vector<std::shared_ptr<WaveDevice>> devices);

    // Adds a line device (its direction from info()); returns its id, kLineWaveDeviceBase or above,
    // never reused while the process runs.
    WaveDeviceId addLineDevice(std::shared_ptr<WaveDevice> device);

    // Removes a line device; unknown ids are ignored.
    void removeLineDevice(WaveDirection direction, WaveDeviceId id);

    // The device of an id, or null.
    std::shared_ptr<WaveDevice> find(WaveDirection direction, WaveDeviceId id) const;

    // Number of sound-card devices of a direction (line devices are not counted, like a device list).
    uint32_t soundCardCount(WaveDirection direction) const;

    // Every id of a direction, sound-card ones first, ascending.
    std::vector<WaveDeviceId> ids(WaveDirection direction) const;

    // True when id lies in the line range.
    static bool isLineDevice(WaveDeviceId id) { return id >= kLineWaveDeviceBase && id != kNoWaveDevice; }

private:
    struct Directory
    {
        std::vector<std::shared_ptr<WaveDevice>> soundCards;
        std::map<WaveDeviceId, std::shared_ptr<WaveDevice>> lines;
        WaveDeviceId nextLineId = kLineWaveDeviceBase;
    };
    Directory& directory(WaveDirection direction);
    const Directory& directory(WaveDirection direction) const;

    mutable std::mutex m_mutex;
    Directory m_in;
    Directory m_out;
};

} // namespace kalvo::wave
