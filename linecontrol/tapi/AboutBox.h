// The control's about box: caption "Korvan", the version label, the maker's web address and a picture.
#pragma once

#include <QDialog>

namespace korvan {

class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    // Shows a new box modally and destroys it when it closes. Without a widget application (a
    // console host) nothing is shown.
    static void showModal();
};

} // namespace korvan
