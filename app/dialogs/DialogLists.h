// The list fillers the settings dialogs share: greetings, sound files, modem lines, sound devices,
// and the folder browser.
#pragma once

#include "WaveControl.h"

#include <QString>

class LineControl;
class QComboBox;
class QLineEdit;
class QWidget;
class mdlLog;

class DialogLists
{
public:
    // Fills list with the names of the files matching pattern ("<folder>/*.wav") without their last
    // four characters; selects the first entry when selection is empty, else shows selection (an
    // entry that is not in the list leaves the first one shown and raises error 380).
    static void GreetFilFile(QComboBox& list, const QString& pattern, const QString& selection, mdlLog& log);
    // The same with whole file names, extension included.
    static void FilFile(QComboBox& list, const QString& pattern, const QString& selection, mdlLog& log);
    // The voice-capable lines by device name; true when there is at least one.
    static bool FillModemList(LineControl& tapi, QComboBox& list);
    // The sound-card devices by name, the first one selected.
    static void FillSoundDeviceList(const WaveControl& wave, QComboBox& list);
    // A folder chosen in the folder browser; empty when cancelled.
    static QString BrowseForFolder(QWidget* owner, const QString& title, const QString& startFolder = {});
    // Asks for a wave file ("Add Sound") and copies it into soundFolder (ending in "/") under its own
    // name, replacing a sound of that name only once the copy is complete. Returns the file name, or
    // an empty text when cancelled. Raises kalvo::VbError when the copy fails.
    static QString AddSound(QWidget* owner, const QString& soundFolder);
    // Shows text in a pick-only list: the matching entry is selected, otherwise error 380 is raised
    // and the list keeps its selection.
    static void showText(QComboBox& list, const QString& text);
    // Shows a stored text in a field; a value never stored shows as an empty field whose
    // placeholder says what goes there.
    static void showStored(QLineEdit& field, const QString& value, const QString& placeholder);
    // What to store from a field that showStored filled: a never-stored value left empty stays as
    // it was, so opening and closing a dialog changes nothing.
    static QString storedText(const QLineEdit& field, const QString& stored);
};
