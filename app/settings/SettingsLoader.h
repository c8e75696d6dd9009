// Reads the settings key into the in-memory settings, logging each value that does not convert.
#pragma once

#include "Settings.h"

class mdlLog;

class SettingsLoader
{
public:
    // programFolder is the program folder (no trailing "/"); the log receives conversion failures.
    SettingsLoader(mdlLog& log, QString programFolder);

    // Every loader in the start-up order.
    void loadAll(Settings& settings);

    void GetMainOptions(MainOptions& options);
    void GetMainAction(MainActions& actions);
    void GetMainEvents(MainEvents& events);
    void GetView(WindowPlacement& view);
    // The screening values; each one never stored keeps its default.
    void GetScreening(ScreenSettings& screen);
    // Reads "Modem", "MassagesPath" (an empty one becomes the program folder's Messages/ and is
    // saved), the log switches, and derives the engine's values from the options already loaded.
    void GetAppOptions(const MainOptions& options, EngineSettings& engine);

    // Values read fresh from the key, for windows that show what is stored now. A number that does
    // not convert reads as 0.
    static bool RunsAtLogin();
    static LogProperties GetLogProperties();
    // Sets the logs' two switches from the stored ones.
    static void GetLogSwitches(mdlLog& log);
    static QString StoredMessagesPath();
    static int32_t StoredSoundDevice();

private:
    mdlLog& m_log;
    QString m_programFolder;
};
