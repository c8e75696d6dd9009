// `kalvo-line watch`: one line, every notification printed.
#include "LineWatcher.h"

#include "TapiNames.h"
#include "WavFile.h"
#include "WaveDeviceTable.h"

#include <QCoreApplication>
#include <QDateTime>

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace kalvo::line {

using namespace kalvo::wave;

// Plays a file's frames once, then silence.
class FileSource : public WaveSource
{
public:
    explicit FileSource(std::vector<int16_t> frames) : m_frames(std::move(frames)) {}
    size_t readFrames(int16_t* out, size_t count) override
    {
        size_t pos = m_pos.load();
        size_t n = std::min(count, m_frames.size() - pos);
        std::memcpy(out, m_frames.data() + pos, n * sizeof(int16_t));
        m_pos = pos + n;
        return n;
    }

private:
    std::vector<int16_t> m_frames;
    std::atomic<size_t> m_pos{0};
};

// Collects the caller's frames.
class RecordingSink : public WaveSink
{
public:
    void writeFrames(const int16_t* frames, size_t count) override
    {
        std::lock_guard lock(m_mutex);
        m_frames.insert(m_frames.end(), frames, frames + count);
    }
    std::vector<int16_t> take()
    {
        std::lock_guard lock(m_mutex);
        return std::move(m_frames);
    }

private:
    std::mutex m_mutex;
    std::vector<int16_t> m_frames;
};

namespace {

void lineCallback(DWORD hDevice, DWORD msg, DWORD_PTR instance, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3)
{
    if (instance)
        reinterpret_cast<LineWatcher*>(instance)->notify(hDevice, msg, p1, p2, p3);
}

std::string quoted(const char* base, DWORD flags, DWORD flag, DWORD size, DWORD offset)
{
    if (!(flags & flag))
        return "UNKNOWN";
    if (size == 0)
        return "\"\"";
    return "\"" + std::string(base + offset, strnlen(base + offset, size)) + "\"";
}

} // namespace

LineWatcher::LineWatcher(WatchOptions options, FILE* out) : m_options(std::move(options)), m_out(out)
{
    m_dropTimer.setSingleShot(true);
    connect(&m_dropTimer, &QTimer::timeout, this, [this] {
        if (m_call)
            print("drop after " + std::to_string(m_options.dropAfter) + " s: lineDrop -> " +
                  std::to_string(lineDrop(m_call, nullptr, 0)));
    });
}

LineWatcher::~LineWatcher()
{
    stop();
}

void LineWatcher::print(const std::string& text)
{
    std::string time = QDateTime::currentDateTime().toString("HH:mm:ss.zzz").toStdString();
    std::fprintf(m_out, "%s %s\n", time.c_str(), text.c_str());
    std::fflush(m_out);
}

LONG LineWatcher::start()
{
    DWORD numDevs = 0;
    LONG r = lineInitialize(&m_app, nullptr, lineCallback, "kalvo-line", &numDevs);
    if (r) {
        print("lineInitialize failed: " + resultName(r));
        return r;
    }
    if (m_options.index >= numDevs) {
        print("no line " + std::to_string(m_options.index) + " (" + std::to_string(numDevs) + " lines)");
        return LINEERR_BADDEVICEID;
    }
    DWORD version = 0;
    LINEEXTENSIONID ext;
    r = lineNegotiateAPIVersion(m_app, m_options.index, TAPI_VERSION_1_0, TAPI_VERSION_1_4, &version, &ext);
    if (!r)
        r = lineOpen(m_app, m_options.index, &m_line, version, 0, reinterpret_cast<DWORD_PTR>(this),
                     LINECALLPRIVILEGE_OWNER, LINEMEDIAMODE_AUTOMATEDVOICE, nullptr);
    std::vector<unsigned char> buf(2241);
    auto* caps = reinterpret_cast<LINEDEVCAPS*>(buf.data());
    caps->dwTotalSize = static_cast<DWORD>(buf.size());
    if (!r)
        r = lineGetDevCaps(m_app, m_options.index, version, 0, caps);
    if (!r)
        r = lineSetStatusMessages(m_line, caps->dwLineStates, 0);
    if (r) {
        print("opening line " + std::to_string(m_options.index) + " failed: " + resultName(r));
        return r;
    }
    std::string name = caps->dwLineNameSize
                           ? std::string(reinterpret_cast<char*>(buf.data()) + caps->dwLineNameOffset)
                           : std::string("Unknown");
    print("watching line " + std::to_string(m_options.index) + " \"" + name + "\"");
    return 0;
}

void LineWatcher::stop()
{
    endMedia();
    if (m_app) {
        // Shutting down drops a live call and closes the line.
        lineShutdown(m_app);
        m_app = 0;
        m_line = 0;
        m_call = 0;
    }
}

DWORD LineWatcher::waveId(HCALL call, const char* deviceClass)
{
    std::vector<unsigned char> buf(2025);
    auto* vs = reinterpret_cast<VARSTRING*>(buf.data());
    vs->dwTotalSize = static_cast<DWORD>(buf.size());
    if (lineGetID(0, 0, call, LINECALLSELECT_CALL, vs, deviceClass) != 0 || vs->dwStringSize < 4)
        return kNoWaveDevice;
    DWORD id;
    std::memcpy(&id, buf.data() + vs->dwStringOffset, 4);
    return id;
}

void LineWatcher::onConnected(HCALL call)
{
    if (m_options.monitorDigits) {
        LONG r = lineMonitorDigits(call, LINEDIGITMODE_DTMF);
        if (r)
            print("lineMonitorDigits failed: " + resultName(r));
    }
    if (!m_options.playFile.empty()) {
        std::vector<int16_t> frames;
        std::string error;
        DWORD id = waveId(call, "wave/out");
        m_playDevice = WaveDeviceTable::instance().find(WaveDirection::Out, id);
        if (!kalvo::sim::readWav8kMono(m_options.playFile, frames, error))
            print("play: " + error);
        else if (!m_playDevice)
            print("play: the call has no wave-out device");
        else if (int r = m_playDevice->startOutput(WaveFormat{8000, 1}, std::make_shared<FileSource>(frames)))
            print("play: wave-out device " + std::to_string(id) + " refused: " + std::to_string(r));
        else
            print("playing " + m_options.playFile + " on wave-out " + std::to_string(id));
    }
    if (!m_options.recordFile.empty()) {
        DWORD id = waveId(call, "wave/in");
        m_recordDevice = WaveDeviceTable::instance().find(WaveDirection::In, id);
        m_recording = std::make_shared<RecordingSink>();
        if (!m_recordDevice)
            print("record: the call has no wave-in device");
        else if (int r = m_recordDevice->startInput(WaveFormat{8000, 1}, m_recording))
            print("record: wave-in device " + std::to_string(id) + " refused: " + std::to_string(r));
        else
            print("recording wave-in " + std::to_string(id) + " to " + m_options.recordFile);
    }
    if (m_options.dropAfter > 0)
        m_dropTimer.start(static_cast<int>(m_options.dropAfter * 1000));
}

void LineWatcher::endMedia()
{
    m_dropTimer.stop();
    if (m_playDevice) {
        m_playDevice->stop();
        m_playDevice.reset();
    }
    if (m_recordDevice) {
        m_recordDevice->stop();
        m_recordDevice.reset();
        std::vector<int16_t> frames = m_recording->take();
        std::string error;
        if (kalvo::sim::writeWav8kMono(m_options.recordFile, frames, error))
            print("recorded " + std::to_string(frames.size()) + " frames to " + m_options.recordFile);
        else
            print("record: " + error);
    }
}

void LineWatcher::notify(DWORD hDevice, DWORD msg, DWORD_PTR p1, DWORD_PTR p2, DWORD_PTR p3)
{
    std::string text = messageName(msg);
    switch (msg) {
    case LINE_CALLSTATE: {
        DWORD state = static_cast<DWORD>(p1);
        text += " " + callStateName(state);
        if (state == LINECALLSTATE_DISCONNECTED)
            text += " " + disconnectModeName(static_cast<DWORD>(p2));
        if (p3)
            text += " " + privilegeName(static_cast<DWORD>(p3));
        print(text);
        if (state == LINECALLSTATE_OFFERING && p3 == LINECALLPRIVILEGE_OWNER) {
            m_call = hDevice;
            m_answered = false;
        } else if (state == LINECALLSTATE_CONNECTED) {
            if (hDevice == m_call)
                onConnected(hDevice);
        } else if (state == LINECALLSTATE_DISCONNECTED) {
            if (hDevice == m_call) {
                endMedia();
                lineDrop(hDevice, nullptr, 0);
            }
        } else if (state == LINECALLSTATE_IDLE) {
            if (hDevice == m_call) {
                endMedia();
                m_call = 0;
            }
            lineDeallocateCall(hDevice);
            if (m_options.calls > 0 && ++m_idleCalls >= m_options.calls)
                QCoreApplication::exit(0);
        }
        return;
    }
    case LINE_CALLINFO: {
        text += " " + callInfoStateName(static_cast<DWORD>(p1));
        std::vector<char> buf(2297 + 4096);
        auto* info = reinterpret_cast<LINECALLINFO*>(buf.data());
        info->dwTotalSize = static_cast<DWORD>(buf.size());
        if (lineGetCallInfo(hDevice, info) == 0) {
            text += " name=" + quoted(buf.data(), info->dwCallerIDFlags, LINECALLPARTYID_NAME,
                                      info->dwCallerIDNameSize, info->dwCallerIDNameOffset);
            text += " number=" + quoted(buf.data(), info->dwCallerIDFlags, LINECALLPARTYID_ADDRESS,
                                        info->dwCallerIDSize, info->dwCallerIDOffset);
        }
        print(text);
        return;
    }
    case LINE_LINEDEVSTATE: {
        DWORD state = static_cast<DWORD>(p1);
        text += " " + devStateName(state);
        if (state == LINEDEVSTATE_RINGING)
            text += " " + std::to_string(p3);
        print(text);
        if (state == LINEDEVSTATE_RINGING && m_call && !m_answered && m_options.answerAfter > 0 &&
            p3 >= DWORD_PTR(m_options.answerAfter)) {
            m_answered = true;
            LONG r = lineAnswer(m_call, nullptr, 0);
            print("lineAnswer -> " + (r > 0 ? "request " + std::to_string(r) : resultName(r)));
        }
        return;
    }
    case LINE_MONITORDIGITS: {
        char digit = static_cast<char>(p1 & 0xFF);
        print(text + " '" + std::string(1, digit) + "' " + digitModeName(static_cast<DWORD>(p2)));
        return;
    }
    case LINE_GENERATE:
        print(text + (p1 == LINEGENERATETERM_DONE ? " LINEGENERATETERM_DONE" : " LINEGENERATETERM_CANCEL"));
        return;
    case LINE_REPLY:
        print(text + " " + std::to_string(p1) + " " + resultName(static_cast<LONG>(static_cast<DWORD>(p2))));
        return;
    default:
        print(text + " " + std::to_string(p1) + " " + std::to_string(p2) + " " + std::to_string(p3));
        return;
    }
}

} // namespace kalvo::line
