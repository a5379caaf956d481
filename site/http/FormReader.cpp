#include "site/http/FormReader.h"

#include <microhttpd.h>

namespace Site {

namespace {

// Large enough that a file field arrives in few, large writes.
constexpr size_t ProcessorBufferBytes = 64 * 1024;

}  // namespace

FormReader::FormReader(const Limits &limits)
    : m_limits(limits)
{
}

std::unique_ptr<FormReader> FormReader::create(MHD_Connection *connection, const Limits &limits)
{
    std::unique_ptr<FormReader> reader(new FormReader(limits));
    const MHD_PostDataIterator iterator = [](void *cls, MHD_ValueKind, const char *key, const char *fileName,
                                             const char *, const char *, const char *data, uint64_t offset, size_t size) {
        return static_cast<FormReader *>(cls)->take(key, fileName, data, offset, size) ? MHD_YES : MHD_NO;
    };
    reader->m_processor = MHD_create_post_processor(connection, ProcessorBufferBytes, iterator, reader.get());
    if (!reader->m_processor)
        return nullptr;
    return reader;
}

FormReader::~FormReader()
{
    if (m_processor)
        MHD_destroy_post_processor(m_processor);
}

bool FormReader::feed(const char *data, size_t size)
{
    if (m_error)
        return false;
    m_bodyBytes += qint64(size);
    if (m_bodyBytes > m_limits.maxBodyBytes) {
        fail(Error::TooLarge);
        return false;
    }
    if (MHD_post_process(m_processor, data, size) != MHD_YES && !m_error)
        fail(Error::Malformed);
    return !m_error;
}

std::optional<FormReader::Error> FormReader::finish()
{
    if (!m_processor)
        return m_error;
    // The processor says here whether the body ended where a form ends; a body in which it
    // found no field at all is no form either.
    const bool complete = MHD_destroy_post_processor(m_processor) == MHD_YES;
    m_processor = nullptr;
    if (!complete || m_fields == 0)
        fail(Error::Malformed);
    return m_error;
}

void FormReader::fail(Error error)
{
    if (!m_error)
        m_error = error;
}

bool FormReader::take(const char *key, const char *fileName, const char *data, uint64_t offset, size_t size)
{
    if (offset == 0) {
        if (++m_fields > m_limits.maxFields) {
            fail(Error::TooManyFields);
            return false;
        }
        const QString name = QString::fromUtf8(key);
        m_text = nullptr;
        m_file = nullptr;
        m_skipping = false;
        if (!fileName) {
            m_form.m_fields.append({name, QByteArray()});
            m_text = &m_form.m_fields.last().second;
        } else if (m_limits.spoolFolder.isEmpty()) {
            fail(Error::Malformed);
            return false;
        } else if (m_form.file(name)) {
            m_skipping = true;
        } else {
            m_form.m_files.emplace_back(name, ReceivedForm::File{QString::fromUtf8(fileName), nullptr});
            m_file = &m_form.m_files.back().second;
        }
    }
    if (size == 0 || m_skipping)
        return true;
    if (m_text) {
        if (m_text->size() + qsizetype(size) > m_limits.maxFieldBytes) {
            fail(Error::TooLarge);
            return false;
        }
        m_text->append(data, qsizetype(size));
        return true;
    }
    if (!m_file)
        return true;
    if (m_file->size() + qint64(size) > m_limits.maxFileBytes) {
        fail(Error::TooLarge);
        return false;
    }
    if (!m_file->data) {
        m_file->data = std::make_unique<SpoolFile>();
        if (!m_file->data->open(m_limits.spoolFolder)) {
            qWarning("quillmere-site: cannot receive an upload in %s: %s", qPrintable(m_limits.spoolFolder),
                     qPrintable(m_file->data->errorString()));
            fail(Error::SpoolFailed);
            return false;
        }
    }
    if (!m_file->data->write(data, qsizetype(size))) {
        qWarning("quillmere-site: cannot write an upload: %s", qPrintable(m_file->data->errorString()));
        fail(Error::SpoolFailed);
        return false;
    }
    return true;
}

}  // namespace Site
