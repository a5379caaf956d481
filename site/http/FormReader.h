#pragma once

#include "site/http/ReceivedForm.h"

#include <QString>

#include <memory>
#include <optional>

struct MHD_Connection;
struct MHD_PostProcessor;

namespace Site {

// Reads the body of a form post (urlencoded or multipart) as it arrives, through the HTTP
// library's post processor, within bounds set before the first byte: text fields are kept in
// memory, files go straight to disk, and nothing grows past its limit.
class FormReader
{
public:
    struct Limits
    {
        qint64 maxBodyBytes = 8 * 1024;
        int maxFields = 16;
        qsizetype maxFieldBytes = 8 * 1024;  // the text of one field
        QString spoolFolder;                 // where file fields are written; without one they are refused
        qint64 maxFileBytes = 0;
    };

    enum class Error {
        Malformed,  // not a form, or one cut short
        TooLarge,   // more bytes than the body, a field or a file may have
        TooManyFields,
        SpoolFailed,  // a file could not be written
    };

    // Nothing when the request's content type is not a form the library reads.
    static std::unique_ptr<FormReader> create(MHD_Connection *connection, const Limits &limits);
    ~FormReader();

    // Takes the next part of the body; false once the form is refused, after which the rest
    // of the body is not looked at.
    bool feed(const char *data, size_t size);
    // Nothing when the body was a whole form within the limits, else what went wrong.
    std::optional<Error> finish();
    // What was received; when refused, the fields before the fault.
    ReceivedForm &form() { return m_form; }

private:
    explicit FormReader(const Limits &limits);
    bool take(const char *key, const char *fileName, const char *data, uint64_t offset, size_t size);
    void fail(Error error);

    Limits m_limits;
    MHD_PostProcessor *m_processor = nullptr;
    ReceivedForm m_form;
    qint64 m_bodyBytes = 0;
    int m_fields = 0;
    std::optional<Error> m_error;
    QByteArray *m_text = nullptr;          // the text field being received
    ReceivedForm::File *m_file = nullptr;  // the file field being received, when it is kept
    bool m_skipping = false;               // a second file field, not kept
};

}  // namespace Site
