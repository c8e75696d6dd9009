// The settings dialog of one SIP line: listen address and port, account, expiry, ring interval and
// RTP ports, checked as typed and written into the line's section of the telephony configuration.
#pragma once

#include "LineProvider.h"

#include <QDialog>
#include <map>
#include <string>

class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QVBoxLayout;

namespace kalvo::sip {

struct SipSettings;

class SipLineDialog : public QDialog
{
    Q_OBJECT

public:
    // Shows the values of line (a [LineN] section read from configPath).
    SipLineDialog(const kalvo::telephony::LineConfig& line, std::string configPath,
                  QWidget* parent = nullptr);

    // Checks the fields and writes them; false with the reason shown in the dialog (and returned)
    // when a field is wrong or the file cannot be written.
    bool save(QString* reason = nullptr);

private:
    // The section's keys as the fields give them; reason and the field to fix when one is wrong.
    bool collect(std::map<std::string, std::string>& values, QString& reason, QWidget*& field) const;
    QLineEdit* addField(const char* name, const QString& caption, const QString& tip);
    QComboBox* addChoice(const char* name, const QString& caption, const QStringList& items,
                         const QString& tip);
    // The fields for an account reached over the internet: transport, encryption, proxy, files.
    void addInternetFields(const SipSettings& current);
    // Checks those fields and adds their keys; false with reason and field as collect.
    bool collectInternet(std::map<std::string, std::string>& values, QString& reason, QWidget*& field) const;

    kalvo::telephony::LineConfig m_line;
    std::string m_configPath;
    QLineEdit* m_listenAddress;
    QLineEdit* m_listenPort;
    QLineEdit* m_registrar;
    QLineEdit* m_user;
    QLineEdit* m_authUser;
    QLineEdit* m_password;
    QLineEdit* m_displayName;
    QLineEdit* m_expires;
    QLineEdit* m_ringInterval;
    QLineEdit* m_rtpMin;
    QLineEdit* m_rtpMax;
    QComboBox* m_transport;
    QComboBox* m_srtp;
    QLineEdit* m_outboundProxy;
    QLineEdit* m_keepalive;
    QLineEdit* m_stunServer;
    QLineEdit* m_tlsCa;
    QLineEdit* m_tlsCert;
    QLineEdit* m_tlsKey;
    QLabel* m_error;
    QFormLayout* m_form;
    QVBoxLayout* m_body; // the scrolled fields
};

} // namespace kalvo::sip
