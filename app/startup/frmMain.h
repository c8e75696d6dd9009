// The main form: owns the in-memory settings and the logs, and hosts everything else of the program.
#pragma once

#include "Settings.h"
#include "mdlLog.h"

#include <QMainWindow>

class frmMain : public QMainWindow
{
    Q_OBJECT

public:
    // programFolder is the program folder (no trailing "/"). Loading reads the settings and writes
    // "Load Kalvo" to both logs; the window is not shown.
    explicit frmMain(const QString& programFolder, const Clock& clock = Clock::system(),
                     QWidget* parent = nullptr);

    Settings& settings() { return m_settings; }
    const Settings& settings() const { return m_settings; }
    mdlLog& log() { return m_log; }
    QString programFolder() const { return m_programFolder; }

private:
    void loadSettings();
    void applyPlacement(const WindowPlacement& view);

    QString m_programFolder;
    mdlLog m_log;
    Settings m_settings;
};
