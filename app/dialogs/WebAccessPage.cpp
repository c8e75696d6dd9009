// The "Web Access" page of the options dialog.
#include "WebAccessPage.h"

#include "MessageBox.h"
#include "WebAccess.h"
#include "WebCertificate.h"
#include "WebPassword.h"

#include <QComboBox>
#include <QFormLayout>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <qrencode.h>

namespace {
// The address as a QR code a phone's camera opens, four pixels a module with the quiet zone.
QPixmap qrCode(const QString& text)
{
    QRcode* code = QRcode_encodeString(text.toUtf8().constData(), 0, QR_ECLEVEL_M, QR_MODE_8, 1);
    if (!code)
        return {};
    const int modules = code->width, quiet = 4, scale = 4;
    QImage image((modules + 2 * quiet) * scale, (modules + 2 * quiet) * scale, QImage::Format_Mono);
    image.fill(1);
    for (int y = 0; y < modules; ++y)
        for (int x = 0; x < modules; ++x)
            if (code->data[y * modules + x] & 1)
                for (int dy = 0; dy < scale; ++dy)
                    for (int dx = 0; dx < scale; ++dx)
                        image.setPixel((x + quiet) * scale + dx, (y + quiet) * scale + dy, 0);
    QRcode_free(code);
    return QPixmap::fromImage(image);
}

template <typename W> W* named(W* widget, const char* name, const QString& accessible)
{
    widget->setObjectName(name);
    widget->setAccessibleName(accessible);
    return widget;
}
} // namespace

WebAccessPage::WebAccessPage(QString programFolder, QWidget* parent)
    : QFrame(parent), m_programFolder(std::move(programFolder))
{
    setObjectName("FrameWeb");
    cmbWebAccess = named(new QComboBox(this), "cmbWebAccess", "Who may open the web page");
    cmbWebAccess->addItems({"Off", "This computer only", "Phones and computers at home"});
    txtWebPort = named(new QSpinBox(this), "txtWebPort", "Web page port");
    txtWebPort->setRange(1024, 65535);
    txtWebPassword = named(new QLineEdit(this), "txtWebPassword", "New web password");
    txtWebPasswordAgain = named(new QLineEdit(this), "txtWebPasswordAgain", "New web password again");
    for (QLineEdit* edit : {txtWebPassword, txtWebPasswordAgain}) {
        edit->setEchoMode(QLineEdit::Password);
        edit->setPlaceholderText(QString("%1 or more characters").arg(WebPassword::kShortest));
    }
    cmdSetWebPassword = named(new QPushButton("Set Password", this), "cmdSetWebPassword", "Set web password");
    lblWebState = named(new QLabel(this), "lblWebState", "Web page state");
    lblWebAddress = named(new QLabel(this), "lblWebAddress", "Web page address");
    lblWebFingerprint = named(new QLabel(this), "lblWebFingerprint", "Certificate fingerprint");
    picWebAddress = named(new QLabel(this), "picWebAddress", "Web page address as a QR code");
    for (QLabel* label : {lblWebState, lblWebAddress, lblWebFingerprint}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

    auto* form = new QFormLayout;
    form->addRow("Web page:", cmbWebAccess);
    form->addRow("Port:", txtWebPort);
    form->addRow("Password:", txtWebPassword);
    form->addRow("Again:", txtWebPasswordAgain);
    form->addRow(QString(), cmdSetWebPassword);
    auto* box = new QVBoxLayout(this);
    box->addLayout(form);
    box->addWidget(lblWebState);
    box->addWidget(lblWebAddress);
    box->addWidget(lblWebFingerprint);
    box->addWidget(picWebAddress, 0, Qt::AlignLeft);
    box->addStretch(1);

    const WebAccess::Config config = WebAccess::readConfig();
    cmbWebAccess->setCurrentIndex(config.access);
    txtWebPort->setValue(config.port);
    connect(cmdSetWebPassword, &QPushButton::clicked, this, [this] { setPassword(); });
    showState();
}

QString WebAccessPage::save()
{
    WebAccess::writeConfig({cmbWebAccess->currentIndex(), txtWebPort->value()});
    WebAccess* web = WebAccess::running();
    const QString problem = web ? web->reapply() : QString();
    showState(problem);
    return problem;
}

void WebAccessPage::setPassword()
{
    const QByteArray password = txtWebPassword->text().toUtf8();
    QString why;
    if (txtWebPassword->text() != txtWebPasswordAgain->text())
        why = "the two passwords differ";
    else
        why = WebPassword::store(WebAccess::webFolder(m_programFolder), password);
    txtWebPassword->clear();
    txtWebPasswordAgain->clear();
    if (!why.isEmpty()) {
        MessageBox::show("The web password was not set: " + why + ".", MessageBox::Exclamation, "Kalvo",
                         this);
        txtWebPassword->setFocus();
        return;
    }
    MessageBox::show("The web password is set.", MessageBox::Information, "Kalvo", this);
    showState();
}

void WebAccessPage::showState(const QString& problem)
{
    const QString folder = WebAccess::webFolder(m_programFolder);
    const bool hasPassword = WebPassword::isSet(folder);
    WebAccess* web = WebAccess::running();
    const bool on = web && web->port() != 0;
    QString state;
    if (!problem.isEmpty())
        state = "The web page is off: " + problem + ".";
    else if (!hasPassword)
        state = "No password is set: the web page stays closed until one is.";
    else if (on)
        state = "The web page is on. Open it in a browser at the address below and log in with the password.";
    else
        state = "The web page is off.";
    lblWebState->setText(state);
    const QString address = on ? WebAccess::address(WebAccess::readConfig(), web->port()) : QString();
    lblWebAddress->setText(address.isEmpty() ? QString() : "Address: " + address);
    const QString fingerprint = on ? WebCertificate::fingerprint(folder) : QString();
    // The browser warns about a certificate it does not know: this is what to compare it with.
    lblWebFingerprint->setText(fingerprint.isEmpty() ? QString()
                                                     : "Certificate fingerprint (SHA-256): " + fingerprint);
    picWebAddress->setPixmap(address.isEmpty() ? QPixmap() : qrCode(address));
    picWebAddress->setVisible(!address.isEmpty());
}
