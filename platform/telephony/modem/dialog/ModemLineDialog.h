// The settings dialog of one modem line: the serial port (chosen from those present, with a "Probe"
// button that asks the modem what it is), the port speed and extra set-up commands, checked and
// written into the line's section of the telephony configuration.
#pragma once

#include "LineProvider.h"

#include <QDialog>
#include <map>
#include <string>

class QComboBox;
class QLabel;
class QLineEdit;

namespace kalvo::modem {

class ModemLineDialog : public QDialog
{
    Q_OBJECT

public:
    // Shows the values of line (a [LineN] section read from configPath).
    ModemLineDialog(const kalvo::telephony::LineConfig& line, std::string configPath,
                    QWidget* parent = nullptr);

    // Checks the fields and writes them; false with the reason shown in the dialog (and returned).
    bool save(QString* reason = nullptr);
    // Asks the modem on the chosen port what it is and shows the answer; the text shown.
    QString probe();

private:
    bool collect(std::map<std::string, std::string>& values, QString& reason) const;

    kalvo::telephony::LineConfig m_line;
    std::string m_configPath;
    QComboBox* m_device;
    QComboBox* m_speed;
    QLineEdit* m_init;
    QLabel* m_probe;
    QLabel* m_error;
};

} // namespace kalvo::modem
