// Stand-ins for Tapi1, Wave1 and WavePlay while no line control or sound component can be loaded:
// no lines, and every sound operation fails with a result number.
#pragma once

#include "LineControl.h"
#include "WaveControl.h"

class NoLineControl : public LineControl
{
public:
    // LINEERR_NODRIVER: there is no telephony driver to talk to.
    static constexpr int kNoDriver = static_cast<int>(0x80000043u);

    using LineControl::LineControl;
    int LineInitialize() override { return kNoDriver; }
    int NumOfLines() override { return 0; }
    void LineGetDevDetails(int lineIndex, LineDevDetails& details) override;
    bool LineOpened(int lineIndex) override;
    bool LineConnected(int lineIndex) override;
    int LineOpen(int lineIndex, int, int) override;
    int LineShutdown(int lineIndex) override;
    int LineAnswer(int lineIndex) override;
    int LineDrop(int lineIndex) override;
    int LineMonitorDigits(int lineIndex, bool) override;
    int LineGetWaveOutID(int lineIndex) override;
    int lineGetID(int lineIndex, int) override;
    QString GetTapiStrError(int number) override;
};

class NoWaveControl : public WaveControl
{
public:
    // The result of every operation: no device.
    static constexpr int kNoDevice = 2;

    using WaveControl::WaveControl;
    QString PlayErrorText(int32_t number) const override { return errorText(number); }
    int32_t StopPlay() override { return 0; }
    int32_t PlayFile(const QString&, int32_t) override { return kNoDevice; }
    int32_t StopMonitor() override { return 0; }
    int32_t StartMonitor(int32_t, int32_t, int32_t, int32_t, int32_t) override { return kNoDevice; }
    int32_t CheckRecordFormat(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override
    {
        return kNoDevice;
    }
    int32_t PlayPosition() const override { return 0; }
    bool IsPlaying() const override { return false; }
    QString RecordErrorText(int32_t number) const override { return errorText(number); }
    int32_t StartRecord(int32_t, int32_t, int32_t, int32_t, int32_t) override { return kNoDevice; }
    int32_t StopRecordToFile(const QString&) override { return kNoDevice; }
    int32_t InputLevel() const override { return 0; }
    bool IsRecording() const override { return false; }
    void WaveFileInfo(const QString& path, kalvo::sound::WaveFileInfoRecord& info) const override;
    int32_t DeviceCount() const override { return 0; }
    int32_t DeviceCaps(int32_t, kalvo::sound::SoundDeviceCaps&) const override { return kNoDevice; }

private:
    static QString errorText(int32_t number);
};
