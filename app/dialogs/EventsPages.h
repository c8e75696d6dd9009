// The three pages of the events dialog with their controls, named and captioned as the dialog has
// always had them.
#pragma once

class QCheckBox;
class QComboBox;
class QFrame;
class QPushButton;
class QSlider;
class QToolBar;
class QWidget;

struct EventsPages
{
    // Builds Frame1 to Frame3 as children of parent.
    explicit EventsPages(QWidget* parent);

    QFrame* frames[3] = {};
    // General
    QCheckBox* chkCloseCVAfter;
    QComboBox* cmbCloseCVAfter;
    QCheckBox* chkAnimation;
    QSlider* sldAnimationFast;
    QPushButton* cmdTestViewer;
    // Where a call is shown: the caller window, a notification, or both (in that order).
    QComboBox* cmbCallerViewAs;
    // In Coming Call
    QCheckBox* chkPlayInCall;
    QComboBox* CmbPlayWhenCall;
    QToolBar* tlbrPlayWhenCall;
    QCheckBox* chkViewDet;
    // Disconnect Call
    QCheckBox* chkPlayInMessage;
    QComboBox* CmbPlayWhenMessage;
    QToolBar* tlbrPlayWhenMessage;
    QCheckBox* chkOnlyIfGotMessage;
    QCheckBox* chkMsgInMsg;
};
