// The simulated line's dialog.
#include "SimLineDialog.h"

#include "TelephonyLayer.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace kalvo::sim {

SimLineDialog::SimLineDialog(const kalvo::telephony::LineConfig& line, const std::string& configPath,
                             QWidget* parent)
    : QDialog(parent)
{
    setObjectName("SimLineDialog");
    setWindowTitle("Line Settings - " + QString::fromStdString(line.name));
    auto* layout = new QVBoxLayout(this);
    QString settings;
    for (const auto& [key, value] : line.keys)
        settings += QString::fromStdString(key) + " = " + QString::fromStdString(value) + "\n";
    auto* about =
        new QLabel("\"" + QString::fromStdString(line.name) +
                       "\" is a simulated line for tests and demonstrations. It has no settings to "
                       "choose here; its scenario is set in [Line" +
                       QString::number(line.deviceId) + "] of " + QString::fromStdString(configPath) +
                       ".\n\n" + (settings.isEmpty() ? QString("No scenario is set.") : settings),
                   this);
    about->setObjectName("lblAbout");
    about->setWordWrap(true);
    about->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(about);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName("cmdClose");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
}

} // namespace kalvo::sim

// This dialog's entry in the list the build assembles (kalvo_line_provider in CMake).
namespace kalvo::telephony::dialogs {
void sim()
{
    // It only shows the settings: whatever the user does, nothing was saved.
    setLineConfigDialog("sim", [](const LineConfig& line, const std::string& path) -> long {
        QWidget* owner = QApplication::activeModalWidget();
        if (!owner)
            owner = QApplication::activeWindow();
        kalvo::sim::SimLineDialog(line, path, owner).exec();
        return 1;
    });
}
} // namespace kalvo::telephony::dialogs
