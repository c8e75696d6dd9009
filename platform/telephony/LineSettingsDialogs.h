// What the line settings dialogs share: the error line with OK and Cancel, and installing a dialog as
// what lineConfigDialog shows for its provider's lines. For the providers' widget libraries only: it
// needs Qt Widgets, which the telephony layer itself does not.
#pragma once

#include "TelephonyLayer.h"

#include <QApplication>
#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>

#include <functional>

namespace kalvo::telephony {

// Adds the error line (lblError) and OK (cmdOK, which closes the dialog once save succeeds) and
// Cancel (cmdCancel) to the bottom of dialog. @return the error line.
inline QLabel* addErrorAndButtons(QDialog& dialog, QBoxLayout& layout, std::function<bool()> save)
{
    auto* error = new QLabel(&dialog);
    error->setObjectName("lblError");
    error->setWordWrap(true);
    error->setStyleSheet("color: #b00020");
    layout.addWidget(error);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setObjectName("cmdOK");
    buttons->button(QDialogButtonBox::Cancel)->setObjectName("cmdCancel");
    layout.addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&dialog, save = std::move(save)] {
        if (save())
            dialog.accept();
    });
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    return error;
}

// Dialog is built from (line, configuration path, owner); Accepted means the settings were saved.
template <class Dialog> void installLineDialog(const std::string& provider)
{
    setLineConfigDialog(provider, [](const LineConfig& line, const std::string& path) -> long {
        QWidget* owner = QApplication::activeModalWidget();
        if (!owner)
            owner = QApplication::activeWindow();
        Dialog dialog(line, path, owner);
        return dialog.exec() == QDialog::Accepted ? 0 : 1;
    });
}

} // namespace kalvo::telephony
