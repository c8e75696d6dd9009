// The telephony layer linked into a shared module (as in the line control library) shares the one
// wave device table of the process, so the program's sound component finds the line's devices.
#include "TelephonyTestSupport.h"
#include "WaveDeviceTable.h"

#include <dlfcn.h>

#include <gtest/gtest.h>

using namespace kalvo::test;

namespace {

// A line wave device registered inside the module is found through the program's table.
TEST(TelephonyInSharedModule, WaveDevicesAreSharedWithTheProgram)
{
    TelephonyHome home(simConf(1));
    void* module = dlopen(KALVO_SHARED_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    auto table = reinterpret_cast<void* (*)()>(dlsym(module, "moduleWaveTable"));
    auto waveOut = reinterpret_cast<DWORD (*)()>(dlsym(module, "moduleLine0WaveOut"));
    ASSERT_TRUE(table && waveOut);
    EXPECT_EQ(table(), &kalvo::wave::WaveDeviceTable::instance());
    DWORD id = waveOut();
    ASSERT_TRUE(kalvo::wave::WaveDeviceTable::isLineDevice(id));
    auto device = kalvo::wave::WaveDeviceTable::instance().find(kalvo::wave::WaveDirection::Out, id);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->info().name, "Sim 0 (wave out)");
    dlclose(module);
}

} // namespace
