// The options dialog's "Web Access" page: who may reach the private web page, its port and
// password, and, once it is on, the address to open, the certificate's fingerprint to compare and a
// QR code of the address for a phone.
#pragma once

#include <QFrame>
#include <QString>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class WebAccessPage : public QFrame
{
    Q_OBJECT

public:
    WebAccessPage(QString programFolder, QWidget* parent = nullptr);

    // Stores the choices and applies them to the running page. @return an empty text, else why the
    // page is not offered (for the dialog to tell).
    QString save();

    QComboBox* cmbWebAccess;
    QSpinBox* txtWebPort;
    QLineEdit* txtWebPassword;
    QLineEdit* txtWebPasswordAgain;
    QPushButton* cmdSetWebPassword;
    QLabel* lblWebState;
    QLabel* lblWebAddress;
    QLabel* lblWebFingerprint;
    QLabel* picWebAddress;

private:
    void setPassword();
    void showState(const QString& problem = {});

    QString m_programFolder;
};
