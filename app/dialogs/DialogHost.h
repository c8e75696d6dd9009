// What the settings dialogs reach of the main window: its in-memory settings, components and the
// procedures they call, handed in so a dialog never depends on the main window class itself.
#pragma once

#include "WaveControl.h"

#include <QString>
#include <cstdint>
#include <functional>

class QWidget;

class LineControl;
class mdlLog;
struct PlaybackFlags;
struct Settings;

class MessageStore;

struct DialogHost
{
    Settings& settings;
    mdlLog& log;
    LineControl& tapi;
    WaveControl& wavePlay;
    MessageStore& messages;
    PlaybackFlags& flags;
    QString programFolder; // no trailing "/"

    // PlayWave(file, false) of the main window: a sound-card sound.
    std::function<int32_t(const QString&)> playWave = {};
    // Reloads the engine's copies from the settings key.
    std::function<void()> getAppOptions = {};
    std::function<bool()> lineIsOpen = {};
    // Opens a line and makes it the one the engine answers on.
    std::function<void(int)> openLine = {};
    std::function<void(int)> closeLine = {};
    // Refills the main window's greeting list, selecting this name.
    std::function<void(const QString&)> refillGreetings = {};
    // Sets the main window's record check box.
    std::function<void(bool)> setRecordMessage = {};
    // Lays the main window out again (quick options toolbar shown or hidden).
    std::function<void()> relayout = {};
    // The caller viewer: animation, speed, close enabled, close delay.
    std::function<void(bool, int, int, int)> viewCallViewer = {};
    // The greeting creator, shown modally over owner from the options dialog's "Add" (which stays
    // disabled while this is empty); returns the name of the greeting it saved, or an empty text.
    std::function<QString(QWidget* owner)> greetingCreator = {};
};
