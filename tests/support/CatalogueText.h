#pragma once

#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One record of a catalogue page as the site writes it: fields split by \x02, the record
// ended by \x01.
inline QString catalogueRecordText(const QStringList &fields)
{
    return fields.join(QChar(2)) + QChar(1);
}

inline QByteArray catalogueRecord(const QStringList &fields)
{
    return catalogueRecordText(fields).toUtf8();
}

// The records of a catalogue page as the site sent it, read the way the client reads them:
// each record's first fieldCount fields, by ResourceRecord::Field.
inline QList<QStringList> catalogueEntries(const QByteArray &body, int fieldCount)
{
    QList<QStringList> entries;
    for (const Quillmere::ResourceRecord &record :
         Quillmere::ParseCataloguePage(Quillmere::Utf8ToUnicode(body), fieldCount).records) {
        QStringList fields;
        for (int k = 0; k < fieldCount; ++k)
            fields.append(record.field(k).toString());
        entries.append(fields);
    }
    return entries;
}
