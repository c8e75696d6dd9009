// The process's wave device table.
#include "WaveDeviceTable.h"

namespace kalvo::wave {

WaveDeviceTable& WaveDeviceTable::instance()
{
    // Never destroyed: providers torn down at exit still remove their devices from it.
    static WaveDeviceTable* table = new WaveDeviceTable;
    return *table;
}

WaveDeviceTable::Directory& WaveDeviceTable::directory(WaveDirection direction)
{
    return direction == WaveDirection::In ? m_in : m_out;
}

const WaveDeviceTable::Directory& WaveDeviceTable::directory(WaveDirection direction) const
{
    return direction == WaveDirection::In ? m_in : m_out;
}

void WaveDeviceTable::setSoundCardDevices(WaveDirection direction,
                                          std::vector<std::shared_ptr<WaveDevice>> devices)
{
    // Keep the old devices alive until the lock is released: their destructors may stop streams.
    std::vector<std::shared_ptr<WaveDevice>> old;
    {
        std::lock_guard lock(m_mutex);
        old.swap(directory(direction).soundCards);
        directory(direction).soundCards = std::move(devices);
    }
}

WaveDeviceId WaveDeviceTable::addLineDevice(std::shared_ptr<WaveDevice> device)
{
    if (!device)
        return kNoWaveDevice;
    WaveDirection direction = device->info().direction;
    std::lock_guard lock(m_mutex);
    Directory& dir = directory(direction);
    WaveDeviceId id = dir.nextLineId++;
    dir.lines.emplace(id, std::move(device));
    return id;
}

void WaveDeviceTable::removeLineDevice(WaveDirection direction, WaveDeviceId id)
{
    std::shared_ptr<WaveDevice> old;
    std::lock_guard lock(m_mutex);
    auto& lines = directory(direction).lines;
    auto it = lines.find(id);
    if (it != lines.end()) {
        old = std::move(it->second);
        lines.erase(it);
    }
}

std::shared_ptr<WaveDevice> WaveDeviceTable::find(WaveDirection direction, WaveDeviceId id) const
{
    std::lock_guard lock(m_mutex);
    const Directory& dir = directory(direction);
    if (id < dir.soundCards.size())
        return dir.soundCards[id];
    auto it = dir.lines.find(id);
    return it == dir.lines.end() ? nullptr : it->second;
}

uint32_t WaveDeviceTable::soundCardCount(WaveDirection direction) const
{
    std::lock_guard lock(m_mutex);
    return static_cast<uint32_t>(directory(direction).soundCards.size());
}

std::vector<WaveDeviceId> WaveDeviceTable::ids(WaveDirection direction) const
{
    std::lock_guard lock(m_mutex);
    const Directory& dir = directory(direction);
    std::vector<WaveDeviceId> result;
    for (WaveDeviceId i = 0; i < dir.soundCards.size(); ++i)
        result.push_back(i);
    for (const auto& [id, device] : dir.lines)
        result.push_back(id);
    return result;
}

} // namespace kalvo::wave
