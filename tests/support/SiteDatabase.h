#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QStringList>

// The site's SQLite database file, opened from outside the site for one call and closed again.

// Runs the statements in order; false at the first that fails.
inline bool execInDatabase(const QString &file, const QStringList &statements)
{
    bool done = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
        db.setDatabaseName(file);
        done = db.open();
        QSqlQuery query(db);
        for (qsizetype i = 0; done && i < statements.size(); ++i)
            done = query.exec(statements[i]);
        query = QSqlQuery();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("outside"));
    return done;
}

// The first column of each row the statement gives; nothing when it fails.
inline QStringList queryDatabase(const QString &file, const QString &statement)
{
    QStringList values;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("outside"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(statement)) {
                while (query.next())
                    values.append(query.value(0).toString());
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("outside"));
    return values;
}
