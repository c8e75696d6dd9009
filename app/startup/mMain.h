// The program's entry procedure and two process-wide helpers.
#pragma once

#include "ProgramVersion.h"

#include <QString>
#include <QStringList>
#include <memory>

// The process start: refuses a second instance, seeds the program folder, writes the first-run
// defaults and loads the main form, shown, or hidden when the only argument is exactly "-st".
// arguments are the command-line arguments after the program name. Runs the event loop and
// returns the exit status.
int Main(const QStringList& arguments);

class InstanceChannel;
class frmMain;
class SingleInstance;

// Binds the second-start channel to the form: "show" brings the window back, "pick-up" and
// "hang-up" reach the engine's conversation at the desk.
void ConnectInstanceChannel(InstanceChannel& channel, frmMain& form);

// "kalvo --pick-up" and "kalvo --hang-up": tell the running Kalvo, print its answer. @return the
// exit status (1 when nothing was done or nobody runs).
int SendToRunningInstance(const QString& option);

// Everything of the start before the event loop: the instance check (a second instance shows
// "Kalvo is still running" and gets no form), the program folder, the first-run defaults, and the
// main form, shown unless the arguments are exactly "-st".
std::unique_ptr<frmMain> StartProgram(const QStringList& arguments, const SingleInstance& instance);

// Writes the first-run defaults when "First" is "1" or absent; returns true when it did.
bool WriteFirstRunDefaults(const QString& programFolder, const QString& executablePath);

// Points an existing start-with-login entry at executablePath when this is the installed program
// or the entry's program is gone; returns true when it did.
bool RefreshStartWithLogin(const QString& executablePath);

// Runs "Sayer --register" (beside the program or installed with it) when no speech engine is
// registered or the registered one is gone.
void RegisterSpeechHelper();

// True when a top-level form with exactly this object name exists.
bool IsFormLoaded(const QString& formName);
