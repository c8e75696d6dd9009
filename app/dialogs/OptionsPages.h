// The four pages of the options dialog with their controls, named and captioned as the dialog has
// always had them.
#pragma once

#include <QObject>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QLineEdit;
class QPushButton;
class QSlider;
class QToolBar;
class QToolButton;
class QWidget;

struct OptionsPages
{
    // Builds Frame1 to Frame4 as children of parent.
    explicit OptionsPages(QWidget* parent);

    QFrame* frames[4] = {};
    // General
    QCheckBox* chkQuickToolBar;
    QCheckBox* chkListMessagesOnly;
    QCheckBox* chkWornClear;
    QCheckBox* chkWornDelete;
    QCheckBox* chkAllowRemoteAccess;
    QLineEdit* txtPass;
    // Devices
    QComboBox* cmbModemDev;
    QPushButton* cmdLineSettings;
    QPushButton* cmdLines;
    QComboBox* cmbSoundDev;
    // Answer Mode
    QComboBox* CmbGreetsMessages;
    QToolBar* tlbrGreetingPlayer;
    QComboBox* txtNumOfRing;
    QCheckBox* cmdRecordMessage;
    QLineEdit* txtMassagesPath;
    QToolButton* cmdBrowsMessagesPath;
    // Advanced
    QCheckBox* chkRenOnStart;
    QCheckBox* chkDropIfSilnce;
    QComboBox* cmbSilenceSec;
    QSlider* sldSilence;
    QComboBox* txtRecLong;
    QCheckBox* chkCompress;
    QCheckBox* chkPreScreen;
};
