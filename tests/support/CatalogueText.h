#pragma once

#include <QByteArray>
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
