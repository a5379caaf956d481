#pragma once

#include <QSslCertificate>
#include <QString>
#include <QStringList>

// A certificate authority of a test's own, made by openssl in a folder, and the server
// certificates it issues. Nothing trusts it but what the test tells to.
class TestAuthority
{
public:
    struct Issued
    {
        QString certificate;  // PEM file of the server's certificate
        QString key;          // PEM file of its private key
    };

    // Makes the authority's key and certificate in folder, under name; false, with
    // errorString(), when openssl does not.
    bool create(const QString &folder, const QString &name);
    // A server certificate for hosts (names and IP addresses), valid for a day; empty paths,
    // with errorString(), when openssl does not make it.
    Issued issue(const QString &name, const QStringList &hosts);

    QString certificatePath() const { return m_folder + u'/' + m_name + QStringLiteral(".pem"); }
    QSslCertificate certificate() const;
    QString errorString() const { return m_error; }

private:
    bool openssl(const QStringList &arguments);

    QString m_folder;
    QString m_name;
    QString m_error;
};
