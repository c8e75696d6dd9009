// Kalvo's own help window: the help page with its pictures, for a desktop without a web browser.
#pragma once

#include <QDialog>

class QTextBrowser;

class frmHelp : public QDialog
{
    Q_OBJECT

public:
    // Shows the page file (an HTML file; its pictures are found beside it).
    frmHelp(const QString& file, QWidget* parent = nullptr);

    // Whether the desktop has a program that shows web pages (the help page opens there then).
    static bool desktopHasBrowser();

    QTextBrowser& browser() { return *m_browser; }

private:
    QTextBrowser* m_browser;
};
