#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// multipart/form-data bodies: the site's upload form as a browser sends it, or any parts in
// any order under a boundary of the test's choosing.
struct UploadForm
{
    static QByteArray boundary() { return "----QuillmereUploadForm"; }
    static QByteArray contentType(const QByteArray &boundary = UploadForm::boundary())
    {
        return "multipart/form-data; boundary=" + boundary;
    }

    static QByteArray textPart(const QByteArray &name, const QByteArray &value)
    {
        return "Content-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value;
    }
    // The form's file field.
    static QByteArray filePart(const QByteArray &fileName, const QByteArray &data)
    {
        return "Content-Disposition: form-data; name=\"file\"; filename=\"" + fileName
            + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data;
    }
    // The parts each after a delimiter, closed by the last one.
    static QByteArray multipart(const QList<QByteArray> &parts, const QByteArray &boundary = UploadForm::boundary())
    {
        QByteArray body;
        for (const QByteArray &part : parts)
            body += "--" + boundary + "\r\n" + part + "\r\n";
        return body + "--" + boundary + "--\r\n";
    }

    // The upload page's form: a category, a title, a remark and one file.
    static QByteArray body(const QString &title, const QByteArray &fileName, const QByteArray &data,
                           const QString &category = QStringLiteral("软件"), const QString &remark = QString(),
                           const QByteArray &boundary = UploadForm::boundary())
    {
        return multipart({textPart("category", category.toUtf8()), textPart("title", title.toUtf8()),
                          textPart("remark", remark.toUtf8()), filePart(fileName, data)},
                         boundary);
    }

    // Bytes that look like the start of a delimiter, line breaks and a NUL: only the real
    // delimiter ends a file holding them.
    static QByteArray trickyBytes(const QByteArray &boundary)
    {
        QByteArray data = "PK\x03\x04\r\n--" + boundary.left(boundary.size() - 1) + QByteArrayLiteral("\r\n\r\n--\0end");
        for (int i = 0; i < 3000; ++i)
            data += char(i * 7);
        return data;
    }
};
