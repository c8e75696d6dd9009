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
    QString PlayErrorText(int number) override { return errorText(number); }
    void StopPlay() override {}
    int PlayFile(const QString&, int) override { return kNoDevice; }
    int StopMonitor() override { return 0; }
    int StartMonitor(int, int, int, int, int) override { return kNoDevice; }
    int CheckRecordFormat(int, int, int, int, int, int) override { return kNoDevice; }
    int PlayPosition() override { return 0; }
    bool IsPlaying() override { return false; }
    QString RecordErrorText(int number) override { return errorText(number); }
    int StartRecord(int, int, int, int, int) override { return kNoDevice; }
    int StopRecordToFile(const QString&) override { return kNoDevice; }
    int InputLevel() override { return 0; }
    bool IsRecording() override { return false; }
    double WaveFileLength(const QString& path) override;

private:
    static QString errorText(int number);
};
