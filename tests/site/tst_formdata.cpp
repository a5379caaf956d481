#include "site/http/FormData.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Reading submitted forms: the fields browsers send, and file data read where it lies in the body.
class TstFormData : public QObject
{
    Q_OBJECT

private slots:
    void fields_data();
    void fields();
    void fileDataStaysInTheBody();
};

void TstFormData::fields_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    const QByteArray urlEncoded = "application/x-www-form-urlencoded";
    QTest::newRow("plus is a space") << urlEncoded << "name=a+b&text=1%2B1"_ba << u"a b"_s << u"1+1"_s;
    QTest::newRow("UTF-8 escapes") << urlEncoded << "text=%E4%BD%A0&name=%E5%BC%A0"_ba << u"张"_s << u"你"_s;
    QTest::newRow("first of two wins") << urlEncoded << "name=a&name=b&&text"_ba << u"a"_s << QString();
    QTest::newRow("multipart, quoted boundary")
        << "Multipart/Form-Data; boundary=\"b q\""_ba
        << "preamble\r\n--b q\r\nContent-Disposition: form-data; name=\"name\"\r\n\r\n张三\r\n--b q\r\n"
           "content-disposition: form-data; name=text\r\n\r\nline\r\nbreak\r\n--b q--\r\nepilogue"_ba
        << u"张三"_s << u"line\r\nbreak"_s;
}

void TstFormData::fields()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    const std::optional<FormData> form = FormData::parse(contentType, body);
    QVERIFY(form);
    QTEST(form->value(u"name"), "name");
    QTEST(form->value(u"text"), "text");
}

void TstFormData::fileDataStaysInTheBody()
{
    // Bytes that look like a delimiter, without the line break before it, belong to the file.
    const QByteArray data = "--b\r\n\0--b--"_ba;
    const QByteArray body = "--b\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a b.bin\"\r\n"
                            "Content-Type: application/octet-stream\r\n\r\n" + data + "\r\n--b--\r\n";
    const std::optional<FormData> form = FormData::parse("multipart/form-data; boundary=b", body);
    QVERIFY(form);
    const FormData::Field *file = form->field(u"file");
    QVERIFY(file);
    QCOMPARE(file->fileName, u"a b.bin"_s);
    QCOMPARE(file->data, data);
    QVERIFY(file->data.constData() > body.constData() && file->data.constData() < body.constData() + body.size());
}

QTEST_GUILESS_MAIN(TstFormData)
#include "tst_formdata.moc"
