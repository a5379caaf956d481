#include "site/http/FormData.h"

#include <algorithm>

namespace {

struct HeaderValue
{
    QByteArray value;  // the part before the first ";", lower case
    QList<std::pair<QByteArray, QByteArray>> parameters;  // names in lower case

    QByteArray parameter(QByteArrayView name) const
    {
        for (const auto &[key, value] : parameters) {
            if (key == name)
                return value;
        }
        return {};
    }
    bool hasParameter(QByteArrayView name) const
    {
        return std::any_of(parameters.begin(), parameters.end(), [name](const auto &p) { return p.first == name; });
    }
};

// Reads `type; key=value; key="quoted; value"`. Browsers percent-encode quotes in field and file
// names and never escape with a backslash, so a quoted value simply runs to the next quote.
std::optional<HeaderValue> parseHeaderValue(QByteArrayView text)
{
    HeaderValue result;
    qsizetype pos = text.indexOf(';');
    result.value = text.first(pos < 0 ? text.size() : pos).trimmed().toByteArray().toLower();
    while (pos >= 0 && pos < text.size()) {
        ++pos;  // past ";"
        const qsizetype equals = text.indexOf('=', pos);
        if (equals < 0)
            return text.sliced(pos).trimmed().isEmpty() ? std::optional(result) : std::nullopt;
        const QByteArray key = text.sliced(pos, equals - pos).trimmed().toByteArray().toLower();
        qsizetype start = equals + 1;
        while (start < text.size() && (text[start] == ' ' || text[start] == '\t'))
            ++start;
        QByteArray value;
        if (start < text.size() && text[start] == '"') {
            const qsizetype close = text.indexOf('"', start + 1);
            if (close < 0)
                return std::nullopt;
            value = text.sliced(start + 1, close - start - 1).toByteArray();
            pos = text.indexOf(';', close + 1);
            if (!text.sliced(close + 1, (pos < 0 ? text.size() : pos) - close - 1).trimmed().isEmpty())
                return std::nullopt;
        } else {
            pos = text.indexOf(';', start);
            value = text.sliced(start, (pos < 0 ? text.size() : pos) - start).trimmed().toByteArray();
        }
        if (key.isEmpty())
            return std::nullopt;
        result.parameters.append({key, value});
    }
    return result;
}

// A part's Content-Disposition, the one header the form needs of it.
std::optional<HeaderValue> contentDisposition(QByteArrayView headers)
{
    for (const QByteArray &header : headers.toByteArray().split('\n')) {
        const QByteArrayView line = QByteArrayView(header).trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare("content-disposition", Qt::CaseInsensitive) == 0)
            return parseHeaderValue(line.sliced(colon + 1));
    }
    return std::nullopt;
}

} // namespace

std::optional<FormData> FormData::parse(const QByteArray &contentType, const QByteArray &body)
{
    const std::optional<HeaderValue> type = parseHeaderValue(contentType);
    if (!type)
        return std::nullopt;
    if (type->value == "application/x-www-form-urlencoded")
        return parseUrlEncoded(body);
    // A boundary is 1 to 70 characters long.
    const QByteArray boundary = type->parameter("boundary");
    if (type->value == "multipart/form-data" && !boundary.isEmpty() && boundary.size() <= 70)
        return parseMultipart(boundary, body);
    return std::nullopt;
}

std::optional<FormData> FormData::parseMultipart(const QByteArray &boundary, const QByteArray &body)
{
    const QByteArray delimiter = "--" + boundary;
    const QByteArray nextDelimiter = "\r\n" + delimiter;
    // The first delimiter starts the body or a line after a preamble; every other one follows the
    // line break that ends the part before it.
    qsizetype pos = body.startsWith(delimiter) ? 0 : body.indexOf(nextDelimiter);
    if (pos < 0)
        return std::nullopt;
    pos += pos == 0 ? delimiter.size() : nextDelimiter.size();

    FormData form;
    for (;;) {
        if (QByteArrayView(body).sliced(pos).startsWith("--"))
            return form;  // the closing delimiter; what follows it is ignored
        while (pos < body.size() && (body[pos] == ' ' || body[pos] == '\t'))
            ++pos;
        if (!QByteArrayView(body).sliced(pos).startsWith("\r\n"))
            return std::nullopt;
        pos += 2;

        // Headers end with an empty line; a form field always has some.
        const qsizetype headersEnd = body.indexOf("\r\n\r\n", pos);
        if (headersEnd < 0 || QByteArrayView(body).sliced(pos).startsWith("\r\n"))
            return std::nullopt;
        const qsizetype dataStart = headersEnd + 4;
        const qsizetype dataEnd = body.indexOf(nextDelimiter, dataStart);
        if (dataEnd < 0)
            return std::nullopt;  // cut short

        const std::optional<HeaderValue> disposition =
            contentDisposition(QByteArrayView(body).sliced(pos, headersEnd - pos));
        if (!disposition || disposition->value != "form-data" || !disposition->hasParameter("name"))
            return std::nullopt;
        Field field;
        field.name = QString::fromUtf8(disposition->parameter("name"));
        if (disposition->hasParameter("filename"))
            field.fileName = QString::fromUtf8(disposition->parameter("filename"));
        field.data = QByteArray::fromRawData(body.constData() + dataStart, dataEnd - dataStart);
        form.m_fields.append(field);
        pos = dataEnd + nextDelimiter.size();
    }
}

FormData FormData::parseUrlEncoded(const QByteArray &body)
{
    FormData form;
    for (QByteArray pair : body.split('&')) {
        if (pair.isEmpty())
            continue;
        // "+" stands for a space; a literal "+" comes as %2B.
        pair.replace('+', ' ');
        const qsizetype equals = pair.indexOf('=');
        Field field;
        field.name = QString::fromUtf8(QByteArray::fromPercentEncoding(pair.first(equals < 0 ? pair.size() : equals)));
        field.data = QByteArray::fromPercentEncoding(equals < 0 ? QByteArray() : pair.sliced(equals + 1));
        form.m_fields.append(field);
    }
    return form;
}

const FormData::Field *FormData::field(QStringView name) const
{
    for (const Field &field : m_fields) {
        if (field.name == name)
            return &field;
    }
    return nullptr;
}

QString FormData::value(QStringView name) const
{
    const Field *found = field(name);
    return found ? QString::fromUtf8(found->data) : QString();
}
