#pragma once

#include "site/http/SpoolFile.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace Site {

// The fields of a submitted HTML form as a FormReader received them: text fields in memory,
// a file field's contents in a SpoolFile.
class ReceivedForm
{
public:
    struct File
    {
        QString fileName;                 // as the visitor's browser named it; empty when no file was chosen
        std::unique_ptr<SpoolFile> data;  // null while nothing was written
        qint64 size() const { return data ? data->size() : 0; }
    };

    // The text of the first field of that name; empty when there is none.
    QString value(QStringView name) const;
    // The first file field of that name, or null.
    File *file(QStringView name);

private:
    friend class FormReader;

    QList<std::pair<QString, QByteArray>> m_fields;
    std::vector<std::pair<QString, File>> m_files;
};

}  // namespace Site
