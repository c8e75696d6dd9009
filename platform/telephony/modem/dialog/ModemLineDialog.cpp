// The modem line settings dialog.
#include "ModemLineDialog.h"

#include "LineSettingsDialogs.h"
#include "ModemProbe.h"
#include "ModemSettings.h"
#include "SerialPort.h"
#include "TelephonyConfigWriter.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalvo::modem {

namespace {
QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

std::string keyOr(const kalvo::telephony::LineConfig& line, const char* key, const std::string& fallback)
{
    auto it = line.keys.find(key);
    return it == line.keys.end() ? fallback : it->second;
}
} // namespace

ModemLineDialog::ModemLineDialog(const kalvo::telephony::LineConfig& line, std::string configPath,
                                 QWidget* parent)
    : QDialog(parent), m_line(line), m_configPath(std::move(configPath))
{
    setObjectName("ModemLineDialog");
    setWindowTitle("Line Settings - " + text(line.name));
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* intro =
        new QLabel("Settings of the modem line \"" + text(line.name) +
                       "\". Kalvo answers calls on the telephone line plugged into this voice modem.",
                   this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    auto* form = new QFormLayout;
    layout->addLayout(form);

    m_device = new QComboBox(this);
    m_device->setObjectName("cmbDevice");
    m_device->setEditable(true);
    // Stable port names are long: /dev/serial/by-id/usb-<maker>_<model>-if00.
    m_device->setMinimumContentsLength(44);
    m_device->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_device->setAccessibleName("Serial port");
    m_device->setToolTip(
        "The modem's serial port; /dev/serial/by-id names stay the same when it is replugged");
    for (const std::string& port : serialPortCandidates())
        m_device->addItem(text(port));
    m_device->setCurrentText(text(keyOr(line, "device", "")));
    auto* probeButton = new QPushButton("Probe", this);
    probeButton->setObjectName("cmdProbe");
    probeButton->setToolTip("Ask the modem on this port what it is and which voice formats it offers");
    auto* deviceRow = new QHBoxLayout;
    deviceRow->addWidget(m_device, 1);
    deviceRow->addWidget(probeButton);
    form->addRow("Serial port:", deviceRow);

    m_speed = new QComboBox(this);
    m_speed->setObjectName("cmbSpeed");
    m_speed->setAccessibleName("Port speed");
    m_speed->setToolTip("Bits per second between the computer and the modem");
    for (const char* speed : {"9600", "19200", "38400", "57600", "115200", "230400", "460800", "921600"})
        m_speed->addItem(speed);
    m_speed->setCurrentText(text(keyOr(line, "speed", "115200")));
    form->addRow("Port speed:", m_speed);

    m_init = new QLineEdit(text(keyOr(line, "init", "")), this);
    m_init->setObjectName("txtInit");
    m_init->setAccessibleName("Extra set-up commands");
    m_init->setToolTip("Commands sent before Kalvo's own set-up, separated by ';' (for example ATZ)");
    form->addRow("Extra set-up commands:", m_init);

    m_probe = new QLabel(this);
    m_probe->setObjectName("lblProbe");
    m_probe->setWordWrap(true);
    m_probe->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_probe);
    m_error = kalvo::telephony::addErrorAndButtons(*this, *layout, [this] { return save(); });
    connect(probeButton, &QPushButton::clicked, this, [this] { probe(); });
}

QString ModemLineDialog::probe()
{
    const std::string device = m_device->currentText().trimmed().toStdString();
    if (device.empty()) {
        m_probe->setText("Choose a serial port first.");
        return m_probe->text();
    }
    // A port that does not answer takes a few seconds to give up.
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    const PortReport report = probePort(device);
    QGuiApplication::restoreOverrideCursor();
    m_probe->setText(text(describeReport(report)));
    // The dialog grows to the answer instead of squeezing the fields above it.
    if (const int wanted = heightForWidth(width()); wanted > height())
        resize(width(), wanted);
    return m_probe->text();
}

bool ModemLineDialog::collect(std::map<std::string, std::string>& values, QString& reason) const
{
    values["device"] = m_device->currentText().trimmed().toStdString();
    values["speed"] = m_speed->currentText().trimmed().toStdString();
    values["init"] = m_init->text().trimmed().toStdString();
    if (values["device"].empty()) {
        reason = "Choose the modem's serial port, for example /dev/ttyACM0.";
        return false;
    }
    for (const auto& [key, value] : values)
        if (value.find_first_of("\r\n") != std::string::npos) {
            reason = "A setting cannot span more than one line.";
            return false;
        }
    return true;
}

bool ModemLineDialog::save(QString* reason)
{
    std::map<std::string, std::string> values;
    QString why;
    if (collect(values, why)) {
        // The provider reads the result exactly as the line will.
        why = text(kalvo::telephony::TelephonyConfigWriter::checkAndUpdate(
            m_configPath, m_line, values,
            [](const kalvo::telephony::LineConfig& changed, std::string& error) {
                ModemSettings parsed;
                return ModemSettings::parse(changed, parsed, error);
            }));
    }
    m_error->setText(why);
    if (reason)
        *reason = why;
    return why.isEmpty();
}

} // namespace kalvo::modem

// This dialog's entry in the list the build assembles (kalvo_line_provider in CMake).
namespace kalvo::telephony::dialogs {
void modem()
{
    installLineDialog<kalvo::modem::ModemLineDialog>("modem");
}
} // namespace kalvo::telephony::dialogs
