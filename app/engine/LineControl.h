// The line control Tapi1 as the answering engine uses it: the methods it calls and the events it
// handles. The line control raises kalvo::VbError for a line index outside its table.
#pragma once

#include <QObject>
#include <QString>

// The fields of the control's device details record that the engine reads.
struct LineDevDetails
{
    QString DeviceName;
    bool TapiCapability = false;
    bool MediaAutomatedvoice = false;
};

class LineControl : public QObject
{
    Q_OBJECT

public:
    static constexpr int kPrivilegeOwner = 4;      // LINECALLPRIVILEGE_OWNER
    static constexpr int kMediaAutomatedVoice = 8; // LINEMEDIAMODE_AUTOMATEDVOICE
    static constexpr int kWaveIn = 1;              // the device class WAVEIN
    static constexpr int kCallerIdName = 0x4;      // LINECALLPARTYID_NAME
    static constexpr int kCallerIdAddress = 0x8;   // LINECALLPARTYID_ADDRESS

    using QObject::QObject;
    ~LineControl() override = default;

    // Probes the telephony system and sizes the line table; the telephony result.
    virtual int LineInitialize() = 0;
    // Number of line devices found by LineInitialize.
    virtual int NumOfLines() = 0;
    // Fills the device details of a line.
    virtual void LineGetDevDetails(int lineIndex, LineDevDetails& details) = 0;
    virtual bool LineOpened(int lineIndex) = 0;
    virtual bool LineConnected(int lineIndex) = 0;
    // Opens a line for incoming calls; 0 or a negative telephony error.
    virtual int LineOpen(int lineIndex, int callPrivilege, int mediaMode) = 0;
    // Shuts the line down, dropping its calls.
    virtual int LineShutdown(int lineIndex) = 0;
    // Answers or drops the line's call: a positive request identifier or a negative error.
    virtual int LineAnswer(int lineIndex) = 0;
    virtual int LineDrop(int lineIndex) = 0;
    // Lets the offered call ring (a line that can tell the caller only now does so).
    virtual int LineAccept(int lineIndex)
    {
        (void)lineIndex;
        return 0;
    }
    // The caller-ID flags (LINECALLPARTYID_) that came with the last CallerID event; a line that
    // says nothing more gives the name and number as they came.
    virtual int LineCallerIDFlags(int lineIndex)
    {
        (void)lineIndex;
        return kCallerIdName | kCallerIdAddress;
    }
    // Switches touch-tone reporting (MonitorDigit) on or off.
    virtual int LineMonitorDigits(int lineIndex, bool on) = 0;
    // The line's wave device ids.
    virtual int LineGetWaveOutID(int lineIndex) = 0;
    virtual int lineGetID(int lineIndex, int deviceClass) = 0;
    // Why the open line cannot take calls now; empty while it is in service.
    virtual QString LineInService(int lineIndex)
    {
        (void)lineIndex;
        return {};
    }
    // True while the open line is still reaching its device; LineState follows.
    virtual bool LineOpening(int lineIndex)
    {
        (void)lineIndex;
        return false;
    }
    // Why the owner cannot talk with the line's caller at the desk (the line has no full-duplex
    // voice); empty when the line can carry a conversation.
    virtual QString LineCannotTalk(int lineIndex)
    {
        (void)lineIndex;
        return {};
    }
    // How a caller reaches the open line (a SIP address, a modem's port); empty when it says nothing.
    virtual QString LineReach(int lineIndex)
    {
        (void)lineIndex;
        return {};
    }
    // Text of a telephony result.
    virtual QString GetTapiStrError(int number) = 0;
    // Shows the line's own settings dialog; 0 when it was shown, -1 otherwise.
    virtual int LineDialogLineConfig(int lineIndex)
    {
        (void)lineIndex;
        return -1;
    }

signals:
    void ProcError(int lineIndex, int procNumber, int errorNumber);
    void InComeCall(int lineIndex);
    void MonitorDigit(int lineIndex, const QString& digit);
    void Idle(int lineIndex);
    void Disconnected(int lineIndex);
    void Connected(int lineIndex);
    void Ring(int lineIndex, int ringNumber);
    void CallerID(int lineIndex, const QString& callerName, const QString& callerNumber);
    // The open line went out of service (reason says why) or came back (reason empty).
    void LineState(int lineIndex, bool inService, const QString& reason);
};
