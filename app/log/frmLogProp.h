// The log properties: the two log switches, how long logs are kept, and the delete question.
#pragma once

#include "Settings.h"

#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class mdlLog;

class frmLogProp : public QDialog
{
    Q_OBJECT

public:
    // applyRetention runs the viewer's retention rule once the settings are stored.
    frmLogProp(mdlLog& log, std::function<void()> applyRetention, QWidget* parent = nullptr);

    // Stores the four settings in order, switches the running logs at once, applies the retention
    // and closes.
    void cmdOKClick();

private:
    mdlLog& m_log;
    std::function<void()> m_applyRetention;
    LogProperties m_stored;
    QCheckBox* m_logCalls;
    QCheckBox* m_logSys;
    QComboBox* m_logFor;
    QCheckBox* m_wornBeforeDelete;
};
