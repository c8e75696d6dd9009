// The SIP line settings dialog.
#include "SipLineDialog.h"

#include "LineSettingsDialogs.h"
#include "SipSettings.h"
#include "TelephonyConfigWriter.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHostAddress>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkInterface>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>
#include <array>
#include <cmath>

namespace kalvo::sip {

namespace {
std::string keyOr(const kalvo::telephony::LineConfig& line, const char* key, const std::string& fallback)
{
    auto it = line.keys.find(key);
    return it == line.keys.end() ? fallback : it->second;
}

QString text(const std::string& s)
{
    return QString::fromStdString(s);
}

// A whole number in [low, high], or -1.
long number(const QLineEdit* field, long low, long high)
{
    bool ok = false;
    const long n = field->text().trimmed().toLong(&ok);
    return ok && n >= low && n <= high ? n : -1;
}

QString seconds(unsigned ms)
{
    return QString::number(ms / 1000.0, 'g', 6);
}
} // namespace

SipLineDialog::SipLineDialog(const kalvo::telephony::LineConfig& line, std::string configPath,
                             QWidget* parent)
    : QDialog(parent), m_line(line), m_configPath(std::move(configPath))
{
    setObjectName("SipLineDialog");
    setWindowTitle("Line Settings - " + text(line.name));
    setModal(true);
    SipSettings current;
    std::string ignored;
    SipSettings::parse(line, current, ignored);

    // The fields scroll between the fixed error line and buttons, so OK stays in reach on a small
    // screen.
    auto* outer = new QVBoxLayout(this);
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName("scrFields");
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* body = new QWidget(scroll);
    auto* layout = new QVBoxLayout(body);
    layout->setContentsMargins(0, 0, 0, 0);
    m_body = layout;
    outer->addWidget(scroll, 1);
    auto* intro = new QLabel("Settings of the SIP line \"" + text(line.name) +
                                 "\". Kalvo answers calls that "
                                 "reach this address; with a registrar it also registers an account there.",
                             this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_form = new QFormLayout;
    layout->addLayout(m_form);
    m_listenAddress = addField("txtListenAddress", "Listen address:",
                               "IP address to take calls on; 0.0.0.0 for every address of this computer");
    m_listenPort = addField("txtListenPort", "Listen port:", "UDP port for SIP, usually 5060");
    m_registrar = addField("txtRegistrar", "Registrar:", "For example sip:provider.example; empty for none");
    m_user = addField("txtUser", "User:", "The account's user name");
    m_authUser = addField("txtAuthUser", "Authentication user:", "Empty when it is the user");
    m_password = addField("txtPassword", "Password:", "The account's password");
    m_password->setEchoMode(QLineEdit::Password);
    m_displayName = addField("txtDisplayName", "Display name:", "The name shown to callers' phones");
    m_expires =
        addField("txtExpires", "Registration expiry (s):", "Seconds a registration lasts (10 to 86400)");
    m_ringInterval = addField("txtRingInterval", "Ring interval (s):", "Seconds between two rings of a call");
    auto* rtp = new QHBoxLayout;
    m_rtpMin = new QLineEdit(this);
    m_rtpMin->setObjectName("txtRtpMin");
    m_rtpMin->setAccessibleName("Lowest RTP port");
    m_rtpMax = new QLineEdit(this);
    m_rtpMax->setObjectName("txtRtpMax");
    m_rtpMax->setAccessibleName("Highest RTP port");
    rtp->addWidget(m_rtpMin);
    rtp->addWidget(new QLabel("to", this));
    rtp->addWidget(m_rtpMax);
    m_form->addRow("RTP ports:", rtp);
    addInternetFields(current);

    m_listenAddress->setText(text(current.listenHost));
    m_listenPort->setText(QString::number(current.listenPort));
    m_registrar->setText(text(current.registrar));
    m_user->setText(text(current.user));
    m_authUser->setText(text(keyOr(line, "auth_user", "")));
    m_password->setText(text(current.password));
    m_displayName->setText(text(current.displayName));
    m_expires->setText(QString::number(current.expires));
    m_ringInterval->setText(seconds(current.ringIntervalMs));
    m_rtpMin->setText(QString::number(current.rtpPortMin));
    m_rtpMax->setText(QString::number(current.rtpPortMax));

    scroll->setWidget(body);
    const QSize fields = body->sizeHint();
    scroll->setMinimumWidth(fields.width() + scroll->verticalScrollBar()->sizeHint().width());
    m_error = kalvo::telephony::addErrorAndButtons(*this, *outer, [this] { return save(); });
    resize(sizeHint().width(), fields.height() + 2 * outer->spacing() + 100);
    // An address this computer does not have is allowed (it may come later), but said at once.
    connect(m_listenAddress, &QLineEdit::editingFinished, this, [this] {
        const QHostAddress host(m_listenAddress->text().trimmed());
        if (!host.isNull() && !host.isLoopback() && host != QHostAddress::AnyIPv4 &&
            host != QHostAddress::AnyIPv6 && !QNetworkInterface::allAddresses().contains(host))
            m_error->setText(
                "Note: " + host.toString() +
                " is not an address of this computer now; the line can listen there only once it is.");
    });
}

QComboBox* SipLineDialog::addChoice(const char* name, const QString& caption, const QStringList& items,
                                    const QString& tip)
{
    auto* box = new QComboBox(this);
    box->setObjectName(name);
    box->addItems(items);
    box->setAccessibleName(QString(caption).remove(':'));
    box->setToolTip(tip);
    m_form->addRow(caption, box);
    return box;
}

void SipLineDialog::addInternetFields(const SipSettings& current)
{
    auto* help = new QLabel("For an account at a provider on the internet choose TLS: it keeps the "
                            "password exchange and the callers' numbers private and lets calls be "
                            "encrypted. UDP suits a telephone system in the same house.",
                            this);
    help->setObjectName("lblInternetHelp");
    help->setWordWrap(true);
    // A form of its own below the help text, so the text wraps over the dialog's whole width.
    m_body->addWidget(help);
    m_form = new QFormLayout;
    m_body->addLayout(m_form);
    m_transport = addChoice("cmbTransport", "Transport:", {"UDP", "TCP", "TLS (encrypted)"},
                            "How the account's messages travel to the registrar");
    m_srtp = addChoice("cmbSrtp", "Encrypted calls (SRTP):", {"Off", "When the caller offers it", "Always"},
                       "Encrypts the calls' sound; needs TLS. \"Always\" refuses callers that cannot "
                       "encrypt");
    m_outboundProxy = addField("txtOutboundProxy", "Outbound proxy:",
                               "Where every request goes first, if the provider names one, for example "
                               "sip:proxy.provider.example;transport=tls; empty for none");
    m_keepalive = addField("txtKeepalive", "Keep-alive (s):",
                           "How often the line shows the registrar it is there, so a router between "
                           "them keeps the way open and a lost registration is noticed; 0 for never");
    m_stunServer = addField("txtStunServer", "STUN server:",
                            "Tells the line its address on the internet when it is behind a router, for "
                            "example stun.provider.example:3478; empty for none");
    m_tlsCa = addField("txtTlsCa", "Extra authority file:",
                       "A certificate file of the authority that signed the registrar's certificate, "
                       "when it is not one this computer already trusts (a home telephone system)");
    m_tlsCert = addField("txtTlsCert", "Own certificate file:",
                         "With its key file, lets callers reach this line over TLS directly; empty for "
                         "none");
    m_tlsKey = addField("txtTlsKey", "Own key file:", "The private key of the own certificate");
    m_transport->setCurrentIndex(static_cast<int>(current.transport));
    m_srtp->setCurrentIndex(static_cast<int>(current.srtp));
    m_outboundProxy->setText(text(current.outboundProxy));
    m_keepalive->setText(QString::number(current.keepaliveSeconds));
    m_stunServer->setText(text(current.stunServer));
    m_tlsCa->setText(text(current.tlsCa));
    m_tlsCert->setText(text(current.tlsCert));
    m_tlsKey->setText(text(current.tlsKey));
}

bool SipLineDialog::collectInternet(std::map<std::string, std::string>& values, QString& reason,
                                    QWidget*& field) const
{
    auto fail = [&](QWidget* at, const QString& why) {
        field = at;
        reason = why;
        return false;
    };
    const bool tls = m_transport->currentIndex() == 2;
    if (m_srtp->currentIndex() != 0 && !tls)
        return fail(m_srtp, "Encrypted calls need the TLS transport: over UDP or TCP their keys would "
                            "travel unencrypted. Choose TLS, or switch encrypted calls off.");
    const QString proxy = m_outboundProxy->text().trimmed();
    if (!proxy.isEmpty() && (!(proxy.startsWith("sip:") || proxy.startsWith("sips:")) || proxy.contains(' ')))
        return fail(m_outboundProxy, "The outbound proxy must be a SIP address such as "
                                     "sip:proxy.provider.example, or empty.");
    if (proxy.contains(";transport=tls") && !tls)
        return fail(m_transport, "The outbound proxy is reached over TLS: choose TLS as the transport too.");
    if (number(m_keepalive, 0, 3600) < 0)
        return fail(m_keepalive, "The keep-alive must be a number of seconds from 0 to 3600 (0: none).");
    const QString stun = m_stunServer->text().trimmed();
    if (stun.contains(' ') || stun.contains('/') || stun.contains('@'))
        return fail(m_stunServer, "The STUN server is a host name or address, with a port if it is not "
                                  "3478, such as stun.provider.example:3478.");
    for (QLineEdit* file : {m_tlsCa, m_tlsCert, m_tlsKey}) {
        const QString path = file->text().trimmed();
        if (!path.isEmpty() && !QFileInfo(QFileInfo(text(m_configPath)).dir(), path).isFile())
            return fail(file, "The file " + path +
                                  " does not exist. Give the full path of a certificate "
                                  "file (PEM), or leave the field empty.");
    }
    if (m_tlsCert->text().trimmed().isEmpty() != m_tlsKey->text().trimmed().isEmpty())
        return fail(m_tlsKey, "The own certificate and its key file go together: give both, or neither.");
    values["transport"] =
        SipSettings::transportName(static_cast<SipSettings::Transport>(m_transport->currentIndex()));
    values["srtp"] = std::array{"off", "optional", "mandatory"}[size_t(m_srtp->currentIndex())];
    values["outbound_proxy"] = proxy.toStdString();
    values["stun_server"] = stun.toStdString();
    values["keepalive"] = std::to_string(number(m_keepalive, 0, 3600));
    values["tls_ca"] = m_tlsCa->text().trimmed().toStdString();
    values["tls_cert"] = m_tlsCert->text().trimmed().toStdString();
    values["tls_key"] = m_tlsKey->text().trimmed().toStdString();
    return true;
}

QLineEdit* SipLineDialog::addField(const char* name, const QString& caption, const QString& tip)
{
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    field->setAccessibleName(QString(caption).remove(':'));
    field->setToolTip(tip);
    m_form->addRow(caption, field);
    return field;
}

bool SipLineDialog::collect(std::map<std::string, std::string>& values, QString& reason,
                            QWidget*& field) const
{
    auto fail = [&](QWidget* at, const QString& why) {
        field = at;
        reason = why;
        return false;
    };
    const QString host = m_listenAddress->text().trimmed();
    if (QHostAddress(host).isNull())
        return fail(m_listenAddress, "The listen address \"" + host +
                                         "\" is not an IP address. Use 0.0.0.0 for every address of this "
                                         "computer, or one of its addresses such as 192.168.1.10.");
    const long port = number(m_listenPort, 1, 65535);
    if (port < 0)
        return fail(m_listenPort, "The listen port must be a number from 1 to 65535.");
    const QString registrar = m_registrar->text().trimmed();
    if (!registrar.isEmpty() && (!(registrar.startsWith("sip:") || registrar.startsWith("sips:")) ||
                                 registrar.section(':', 1).isEmpty() || registrar.contains(' ')))
        return fail(m_registrar,
                    "The registrar must be a SIP address such as sip:provider.example, or empty.");
    const QString user = m_user->text().trimmed();
    if (!registrar.isEmpty() && user.isEmpty())
        return fail(m_user, "An account at a registrar needs a user.");
    if (number(m_expires, 10, 86400) < 0)
        return fail(m_expires, "The registration expiry must be a number of seconds from 10 to 86400.");
    bool ok = false;
    const double ring = m_ringInterval->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(ring) || ring < 0.1 || ring > 60)
        return fail(m_ringInterval, "The ring interval must be a number of seconds from 0.1 to 60.");
    const long rtpMin = number(m_rtpMin, 1024, 65535);
    if (rtpMin < 0)
        return fail(m_rtpMin, "The RTP ports must be numbers from 1024 to 65535.");
    const long rtpMax = number(m_rtpMax, 1024, 65535);
    if (rtpMax < 0 || rtpMax - rtpMin < 2)
        return fail(m_rtpMax,
                    "The highest RTP port must be at least two above the lowest one, and at most 65535.");

    const std::string address = host.contains(':') ? "[" + host.toStdString() + "]" : host.toStdString();
    values["listen"] = address + ":" + std::to_string(port);
    values["registrar"] = registrar.toStdString();
    values["user"] = user.toStdString();
    values["auth_user"] = m_authUser->text().trimmed().toStdString();
    values["password"] = m_password->text().toStdString();
    values["display"] = m_displayName->text().trimmed().toStdString();
    values["expires"] = m_expires->text().trimmed().toStdString();
    values["ring_interval"] = m_ringInterval->text().trimmed().toStdString();
    values["rtp_ports"] = std::to_string(rtpMin) + "-" + std::to_string(rtpMax);
    if (!collectInternet(values, reason, field))
        return false;
    for (const auto& [key, value] : values)
        if (value.find_first_of("\r\n") != std::string::npos)
            return fail(m_displayName, "A setting cannot span more than one line.");
    return true;
}

bool SipLineDialog::save(QString* reason)
{
    std::map<std::string, std::string> values;
    QString why;
    QWidget* field = nullptr;
    if (collect(values, why, field)) {
        // The provider reads the result exactly as the line will.
        why = text(kalvo::telephony::TelephonyConfigWriter::checkAndUpdate(
            m_configPath, m_line, values,
            [](const kalvo::telephony::LineConfig& changed, std::string& error) {
                SipSettings parsed;
                return SipSettings::parse(changed, parsed, error);
            }));
    }
    m_error->setText(why);
    if (field)
        field->setFocus();
    if (reason)
        *reason = why;
    return why.isEmpty();
}

} // namespace kalvo::sip

// This dialog's entry in the list the build assembles (kalvo_line_provider in CMake).
namespace kalvo::telephony::dialogs {
void sip()
{
    installLineDialog<kalvo::sip::SipLineDialog>("sip");
}
} // namespace kalvo::telephony::dialogs
