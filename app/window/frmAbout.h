// The about box: the program's name and version, the maker's pages, and the licences of the
// libraries Kalvo is built on.
#pragma once

#include <QDialog>

class frmAbout : public QDialog
{
    Q_OBJECT

public:
    // productPage is the maker's page; empty leaves the link out.
    explicit frmAbout(const QString& productPage, QWidget* parent = nullptr);
};
