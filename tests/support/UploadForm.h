#pragma once

#include <QByteArray>
#include <QString>

// The site's upload form as a browser sends it: multipart/form-data with a category, a title,
// a remark and one file.
struct UploadForm
{
    static QByteArray boundary() { return "----QuillmereUploadForm"; }
    static QByteArray contentType() { return "multipart/form-data; boundary=" + boundary(); }

    static QByteArray body(const QString &title, const QByteArray &fileName, const QByteArray &data,
                           const QString &category = QStringLiteral("软件"), const QString &remark = QString())
    {
        const QByteArray delimiter = "--" + boundary();
        QByteArray body;
        const QList<std::pair<QByteArray, QByteArray>> fields = {
            {"category", category.toUtf8()}, {"title", title.toUtf8()}, {"remark", remark.toUtf8()}};
        for (const auto &[name, value] : fields)
            body += delimiter + "\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value + "\r\n";
        return body + delimiter + "\r\nContent-Disposition: form-data; name=\"file\"; filename=\"" + fileName
            + "\"\r\nContent-Type: application/octet-stream\r\n\r\n" + data + "\r\n" + delimiter + "--\r\n";
    }
};
