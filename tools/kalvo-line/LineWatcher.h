// `kalvo-line watch`: opens one line as owner and prints every notification; optionally answers,
// plays a file into the call, records the caller, monitors digits and drops after a while.
#pragma once

#include "Telephony.h"
#include "WaveDevice.h"

#include <QObject>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <string>

namespace kalvo::line {

struct WatchOptions
{
    DWORD index = 0;
    int answerAfter = 0;    // answer on this ring (0: never)
    std::string playFile;   // played into the call after connect
    std::string recordFile; // the caller, until hang-up (8 kHz mono PCM16 WAV)
    bool monitorDigits = false;
    double dropAfter = 0; // seconds after connect (0: never)
    int calls = 0;        // exit after this many calls went idle (0: run until interrupted)
};

class RecordingSink;
class FileSource;

class LineWatcher : public QObject
{
public:
    LineWatcher(WatchOptions options, FILE* out);
    ~LineWatcher() override;

    // Initialises and opens the line. @return 0 or the failing result code (printed).
    LONG start();
    // Drops a live call, closes the line and shuts down.
    void stop();

    // The line callback's target (the callback instance is this object).
    void notify(DWORD hDevice, DWORD msg, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3);

private:
    void print(const std::string& text);
    void onConnected(HCALL call);
    void endMedia();
    DWORD waveId(HCALL call, const char* deviceClass);

    WatchOptions m_options;
    FILE* m_out;
    HLINEAPP m_app = 0;
    HLINE m_line = 0;
    HCALL m_call = 0;
    bool m_answered = false;
    int m_idleCalls = 0;
    QTimer m_dropTimer;
    std::shared_ptr<kalvo::wave::WaveDevice> m_playDevice;
    std::shared_ptr<kalvo::wave::WaveDevice> m_recordDevice;
    std::shared_ptr<RecordingSink> m_recording;
};

} // namespace kalvo::line
