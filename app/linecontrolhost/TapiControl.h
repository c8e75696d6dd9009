// The program's typed wrapper of the line control: finds the control by its ProgID in the registry,
// loads its library, creates the control, calls each method by its dispatch identifier and turns the
// control's events into Qt signals. The only place in the program that knows the identifiers.
#pragma once

#include "KorvanDispatch.h"

#include <QObject>
#include <QString>
#include <memory>

namespace kalvo {

class TapiControl : public QObject, private korvan::IEventSink
{
    Q_OBJECT
public:
    // Creates a control of the class registered as Korvan.Tapi. @return null with error set when the
    // class is not registered, its library does not load or makes no control.
    static std::unique_ptr<TapiControl> create(QString* error = nullptr);

    // Registers libDir/libkorvan.so (by default the library beside the executable, or the installed
    // one) when Korvan.Tapi under HKEY_CLASSES_ROOT is missing or names a file that is gone.
    // @return true when the class is registered now.
    static bool ensureRegistered(const QString& libDir = QString());

    // The library file registered for Korvan.Tapi, or empty.
    static QString registeredLibrary();

    ~TapiControl() override;

    // The methods of the control. A run-time error of a method (an index outside the line table,
    // a value that does not convert) is thrown as kalvo::VbError with its number and description.
    int LineInitialize();
    int NumOfLines();
    int LineOpen(int LineIndex, int CallPrivilege = 0, int MediaMode = 0);
    int LineClose(int LineIndex);
    int LineShutdown(int LineIndex);
    bool LineOpened(int LineIndex);
    bool LineConnected(int LineIndex);
    QString LineInService(int LineIndex);
    QString LineCannotTalk(int LineIndex);
    QString LineReach(int LineIndex);
    bool LineOpening(int LineIndex);
    int LineAnswer(int LineIndex);
    int LineAccept(int LineIndex);
    int LineCallerIDFlags(int LineIndex);
    int LineDrop(int LineIndex);
    int LineMakeCall(int LineIndex, const QString& Number);
    int LineGenerateDigits(int LineIndex, const QString& Digits);
    int LineMonitorDigits(int LineIndex, bool Status);
    void lineSetTerminal(int LineIndex);
    int LineGetCallInf(int LineIndex, korvan::CallInf& Callinfo);
    QString LineGetDevDetails(int LineIndex, korvan::LineDevCap& DeviceType);
    int lineGetID(int LineIndex, int lDeviceClass);
    int LineGetWaveOutID(int LineIndex);
    int PhoneInitialize();
    int NumOfPhones();
    int PhoneOpen(int PhoneIndex);
    int PhoneClose(int PhoneIndex);
    int PhoneShutdown(int PhoneIndex);
    int PhoneSetHookSwitch(int PhoneIndex);
    void GetLocationInf(QString& CountryCode, QString& CityCode);
    void LineTranslateDialog(int LineIndex);
    int LineDialogLineConfig(const QString& LineIndex);
    QString GetTapiStrError(int ErrorNumber);
    void ShowAboutBox();

    // Calls any method by identifier with raw variants (for callers that pass values the typed
    // methods cannot, and for tests). Throws kalvo::VbError like the typed methods.
    korvan::Variant invoke(int32_t dispId, std::vector<korvan::Variant>& arguments);

signals:
    void ProcError(int LineIndex, int ProcNumber, int ErrorNumber);
    void Dialing(int LineIndex);
    void InComeCall(int LineIndex);
    void MonitorDigit(int LineIndex, const QString& Digit);
    void Idle(int LineIndex);
    void Disconnected(int LineIndex);
    void Connected(int LineIndex);
    void Ring(int LineIndex, int RingNumber);
    void CallerID(int LineIndex, const QString& CallerName, const QString& CallerNumber);
    void DoneGenerateDigits(int LineIndex);
    void LineState(int LineIndex, bool InService, const QString& Reason);

private:
    explicit TapiControl(korvan::ITapiDispatch* control);
    void Invoke(int32_t eventId, const std::vector<korvan::Variant>& arguments) override;
    int32_t callLong(int32_t dispId, std::vector<korvan::Variant> arguments);

    korvan::ITapiDispatch* m_control;
};

} // namespace kalvo
