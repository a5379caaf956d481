#include "support/TestAuthority.h"

#include <QFile>
#include <QHostAddress>
#include <QProcess>

using namespace Qt::StringLiterals;

namespace {

// Small keys that are quick to make and that every TLS library takes.
const QStringList NewKey{u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s};

}  // namespace

bool TestAuthority::openssl(const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(u"openssl"_s, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = u"openssl %1: %2"_s.arg(arguments.first(), QString::fromLocal8Bit(process.readAll()));
        if (process.error() == QProcess::FailedToStart)
            m_error = u"needs openssl (scripts/setup.sh)"_s;
        return false;
    }
    return true;
}

bool TestAuthority::create(const QString &folder, const QString &name)
{
    m_folder = folder;
    m_name = name;
    return openssl(QStringList{u"req"_s, u"-x509"_s} + NewKey
                   + QStringList{u"-days"_s, u"2"_s, u"-subj"_s, u"/CN="_s + name, u"-keyout"_s,
                                 folder + u'/' + name + u".key"_s, u"-out"_s, certificatePath()});
}

TestAuthority::Issued TestAuthority::issue(const QString &name, const QStringList &hosts)
{
    const QString base = m_folder + u'/' + name;
    QStringList alternativeNames;
    for (const QString &host : hosts)
        alternativeNames.append((QHostAddress(host).isNull() ? u"DNS:"_s : u"IP:"_s) + host);
    QFile extensions(base + u".ext"_s);
    if (!extensions.open(QIODevice::WriteOnly)
        || extensions.write(u"subjectAltName=%1\nbasicConstraints=CA:FALSE\nkeyUsage=digitalSignature\n"
                            u"extendedKeyUsage=serverAuth\n"_s.arg(alternativeNames.join(u','))
                                .toLatin1())
            < 0) {
        m_error = extensions.errorString();
        return {};
    }
    extensions.close();
    const QString key = base + u".key"_s;
    const QString certificate = base + u".pem"_s;
    if (!openssl(QStringList{u"req"_s} + NewKey
                 + QStringList{u"-subj"_s, u"/CN="_s + hosts.value(0), u"-keyout"_s, key, u"-out"_s, base + u".csr"_s})
        || !openssl({u"x509"_s, u"-req"_s, u"-in"_s, base + u".csr"_s, u"-CA"_s, certificatePath(), u"-CAkey"_s,
                     m_folder + u'/' + m_name + u".key"_s, u"-CAcreateserial"_s, u"-days"_s, u"1"_s, u"-extfile"_s,
                     extensions.fileName(), u"-out"_s, certificate}))
        return {};
    return {certificate, key};
}

QSslCertificate TestAuthority::certificate() const
{
    return QSslCertificate::fromPath(certificatePath()).value(0);
}
