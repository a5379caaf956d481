#include "platform/CertificateTrust.h"

#include "support/TestAuthority.h"

#include <QSslConfiguration>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstCertificateTrust : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void acceptsWhatTheStoreTrustsForItsHost_data();
    void acceptsWhatTheStoreTrustsForItsHost();

private:
    QTemporaryDir m_folder;
    QSslCertificate m_trustedRoot;
    QSslCertificate m_trusted;
    QSslCertificate m_unknown;
};

void TstCertificateTrust::initTestCase()
{
    TestAuthority trusted;
    TestAuthority unknown;
    QVERIFY2(trusted.create(m_folder.path(), u"trusted-ca"_s), qPrintable(trusted.errorString()));
    QVERIFY2(unknown.create(m_folder.path(), u"unknown-ca"_s), qPrintable(unknown.errorString()));
    const TestAuthority::Issued server = trusted.issue(u"server"_s, {u"localhost"_s, u"127.0.0.1"_s});
    const TestAuthority::Issued other = unknown.issue(u"other"_s, {u"localhost"_s});
    QVERIFY2(!server.certificate.isEmpty() && !other.certificate.isEmpty(), qPrintable(trusted.errorString()));
    m_trustedRoot = trusted.certificate();
    m_trusted = QSslCertificate::fromPath(server.certificate).value(0);
    m_unknown = QSslCertificate::fromPath(other.certificate).value(0);
    QVERIFY(!m_trustedRoot.isNull() && !m_trusted.isNull() && !m_unknown.isNull());

    // As if installed in the system's store, for this process alone.
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.addCaCertificate(m_trustedRoot);
    QSslConfiguration::setDefaultConfiguration(configuration);
}

void TstCertificateTrust::acceptsWhatTheStoreTrustsForItsHost_data()
{
    using Kind = TransferError::Kind;
    QTest::addColumn<QList<QSslCertificate>>("chain");
    QTest::addColumn<QString>("host");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<Kind>("reason");

    QTest::newRow("trusted authority, its name") << QList{m_trusted} << u"localhost"_s << true << Kind::Other;
    QTest::newRow("trusted authority, its address") << QList{m_trusted} << u"127.0.0.1"_s << true << Kind::Other;
    QTest::newRow("trusted authority, sent with its root")
        << QList{m_trusted, m_trustedRoot} << u"localhost"_s << true << Kind::Other;
    QTest::newRow("trusted authority, another host")
        << QList{m_trusted} << u"example.org"_s << false << Kind::CertificateNameMismatch;
    QTest::newRow("unknown authority") << QList{m_unknown} << u"localhost"_s << false << Kind::UntrustedCertificate;
    QTest::newRow("no certificate") << QList<QSslCertificate>() << u"localhost"_s << false << Kind::UntrustedCertificate;
}

void TstCertificateTrust::acceptsWhatTheStoreTrustsForItsHost()
{
    QFETCH(QList<QSslCertificate>, chain);
    QFETCH(QString, host);
    QFETCH(bool, accepted);
    QFETCH(TransferError::Kind, reason);

    const Result<void, TransferError> verified = CertificateTrust::verify(chain, host);
    QCOMPARE(verified.ok(), accepted);
    if (!accepted) {
        QCOMPARE(verified.error().kind, reason);
        QCOMPARE(verified.error().host, host);
    }
}

QTEST_GUILESS_MAIN(TstCertificateTrust)
#include "tst_certificatetrust.moc"
