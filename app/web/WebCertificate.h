// The web page's TLS certificate and key: made at first use in Web/ ("cert.pem", "key.pem", the key
// owner-only) and used from then on, also when the user put their own there.
#pragma once

#include <QSslConfiguration>
#include <QString>

namespace WebCertificate {

// Makes a self-signed certificate (P-256, ten years, for localhost, 127.0.0.1 and hostName) and its
// key in webFolder when either file is missing. @return an empty text, else why it could not.
QString ensure(const QString& webFolder, const QString& hostName);
// The server side of TLS from the two files (TLS 1.2 and newer). @return false with why set when
// they cannot be read.
bool load(const QString& webFolder, QSslConfiguration& config, QString& why);
// The SHA-256 fingerprint of the certificate in webFolder, as "AB:CD:..."; empty without one.
QString fingerprint(const QString& webFolder);

} // namespace WebCertificate
