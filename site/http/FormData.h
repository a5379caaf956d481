#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The fields of a submitted HTML form, read from a multipart/form-data or an
// application/x-www-form-urlencoded request body.
class FormData
{
public:
    struct Field
    {
        QString name;
        std::optional<QString> fileName;  // a file field has one, empty when no file was chosen
        QByteArray data;
    };

    // Nothing when the body is not a complete, well-formed form of the given content type. The
    // data of multipart fields points into body, which must outlive the result.
    static std::optional<FormData> parse(const QByteArray &contentType, const QByteArray &body);

    // The first field of that name, or null.
    const Field *field(QStringView name) const;
    // The text of the first field of that name; empty when there is none.
    QString value(QStringView name) const;

private:
    static std::optional<FormData> parseMultipart(const QByteArray &boundary, const QByteArray &body);
    static FormData parseUrlEncoded(const QByteArray &body);

    QList<Field> m_fields;
};
