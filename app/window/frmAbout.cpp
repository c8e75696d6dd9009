// The about box.
#include "frmAbout.h"

#include "FrameIcons.h"
#include "PlainDialog.h"
#include "ProgramVersion.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace {
const char* const kLicences = R"(<p>Kalvo is built on these libraries, each under its own licence:</p>
<ul>
<li><b>Qt 6</b> (widgets, multimedia, D-Bus): GNU LGPL version 3</li>
<li><b>libre</b> and <b>librem</b> (SIP and media): BSD 3-clause licence</li>
<li><b>libsndfile</b> (wave files): GNU LGPL version 2.1 or later</li>
<li><b>libsamplerate</b> (rate conversion): BSD 2-clause licence</li>
<li><b>SQLite</b> (call database): public domain</li>
<li><b>libcurl</b> (mail): curl licence (MIT style)</li>
<li><b>eSpeak NG</b> (speech, in the separate helper Sayer): GNU GPL version 3 or later</li>
</ul>)";
} // namespace

frmAbout::frmAbout(const QString& productPage, QWidget* parent) : QDialog(parent)
{
    setObjectName("frmAbout");
    makePlainDialog(*this);
    setWindowTitle("About Kalvo");
    setWindowIcon(FrameIcons::appIcon());
    auto* layout = new QVBoxLayout(this);
    auto* head = new QHBoxLayout;
    auto* picture = new QLabel(this);
    picture->setObjectName("Image1");
    picture->setPixmap(FrameIcons::appIcon().pixmap(64, 64));
    head->addWidget(picture);
    auto* title = new QLabel("<h2>Kalvo</h2>A telephone answering machine for the desktop.", this);
    title->setObjectName("lblTitle");
    head->addWidget(title, 1);
    layout->addLayout(head);
    auto* version = new QLabel("Version " + kProgramVersion, this);
    version->setObjectName("lblVersion");
    layout->addWidget(version);
    if (!productPage.isEmpty()) {
        auto* link = new QLabel("<a href=\"" + productPage + "\">" + productPage + "</a>", this);
        link->setObjectName("lblWebSite");
        link->setOpenExternalLinks(true);
        layout->addWidget(link);
    }
    auto* licences = new QTextBrowser(this);
    licences->setObjectName("txtLicences");
    licences->setHtml(kLicences);
    licences->setMinimumSize(420, 170);
    layout->addWidget(licences, 1);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}
