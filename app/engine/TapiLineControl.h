// The loaded line control (Korvan.Tapi through its typed wrapper) as the engine's LineControl.
#pragma once

#include "LineControl.h"

#include <memory>

namespace kalvo {
class TapiControl;
}

class TapiLineControl : public LineControl
{
    Q_OBJECT

public:
    // Takes the wrapper over and passes its events on.
    explicit TapiLineControl(std::unique_ptr<kalvo::TapiControl> control, QObject* parent = nullptr);
    ~TapiLineControl() override;

    // Registers the library beside the executable when needed and creates the control; null when
    // that fails, with the reason in error.
    static std::unique_ptr<TapiLineControl> load(QString* error = nullptr);

    kalvo::TapiControl& control() { return *m_control; }

    int LineInitialize() override;
    int NumOfLines() override;
    void LineGetDevDetails(int lineIndex, LineDevDetails& details) override;
    bool LineOpened(int lineIndex) override;
    bool LineConnected(int lineIndex) override;
    QString LineInService(int lineIndex) override;
    QString LineCannotTalk(int lineIndex) override;
    QString LineReach(int lineIndex) override;
    bool LineOpening(int lineIndex) override;
    int LineOpen(int lineIndex, int callPrivilege, int mediaMode) override;
    int LineShutdown(int lineIndex) override;
    int LineDialogLineConfig(int lineIndex) override;
    int LineAnswer(int lineIndex) override;
    int LineAccept(int lineIndex) override;
    int LineCallerIDFlags(int lineIndex) override;
    int LineDrop(int lineIndex) override;
    int LineMonitorDigits(int lineIndex, bool on) override;
    int LineGetWaveOutID(int lineIndex) override;
    int lineGetID(int lineIndex, int deviceClass) override;
    QString GetTapiStrError(int number) override;

private:
    std::unique_ptr<kalvo::TapiControl> m_control;
};
