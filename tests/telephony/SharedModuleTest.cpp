// A shared module that uses the telephony layer (as the line control library does) shares the
// process's one layer and wave device table, so the program's sound component finds the line's
// devices and tests can drive the module's simulated line.
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
    kalvo::telephony::LineWaveIds ours = home.sim(0)->waveDevices();
    EXPECT_EQ(ours.waveOut, id) << "the module sees the program's simulated line";
    dlclose(module);
}

} // namespace
