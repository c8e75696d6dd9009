// The help window.
#include "frmHelp.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

frmHelp::frmHelp(const QString& file, QWidget* parent) : QDialog(parent), m_browser(new QTextBrowser(this))
{
    setObjectName("frmHelp");
    setWindowTitle("Kalvo Help");
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    m_browser->setObjectName("txtHelp");
    m_browser->setAccessibleName("Help");
    // Links to other sites go to whatever the desktop has; the page's own anchors stay here.
    m_browser->setOpenExternalLinks(true);
    m_browser->setSource(QUrl::fromLocalFile(file));
    layout->addWidget(m_browser, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName("cmdClose");
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    layout->addWidget(buttons);
    resize(820, 640);
}

bool frmHelp::desktopHasBrowser()
{
    if (!qEnvironmentVariableIsEmpty("BROWSER"))
        return true;
    // The desktop's own handler for web pages, as xdg-open would choose it.
    const QString mime = QStandardPaths::findExecutable("xdg-mime");
    if (mime.isEmpty())
        return false;
    QProcess query;
    query.start(mime, {"query", "default", "text/html"});
    if (!query.waitForFinished(3000)) {
        query.kill();
        query.waitForFinished(1000);
        return true; // slow to answer is no proof that nothing is there
    }
    return query.exitCode() == 0 && !query.readAllStandardOutput().trimmed().isEmpty();
}
