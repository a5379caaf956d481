#pragma once

#include <QMap>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>

#include <memory>

// A clamd of a test's own: its configuration, socket and signature database in a temporary
// folder, run in the foreground as a child process and stopped with this object. Its
// signatures are the test's, each matching one file's bytes exactly (the EICAR test file's
// always), so nothing is downloaded. Limits are set for the site's 50 MB uploads.
class LocalClamd
{
public:
    LocalClamd();
    ~LocalClamd();
    LocalClamd(const LocalClamd &) = delete;
    LocalClamd &operator=(const LocalClamd &) = delete;

    // The EICAR test file, which every scanner is written to find and which harms nothing.
    static QByteArray eicar();
    static const QString EicarSignature;
    // The name clamd reports for one of the test's signatures: it marks those that come from
    // outside its official databases.
    static QString reported(const QString &signature) { return signature + QStringLiteral(".UNOFFICIAL"); }

    // From the next start on, a signature of this name matches exactly these bytes.
    void addSignature(const QString &name, const QByteArray &bytes);
    // One of clamd's settings ("StreamMaxLength", "1M") from the next start on.
    void setSetting(const QString &name, const QString &value) { m_settings.insert(name, value); }

    // Starts clamd and waits until its socket answers PING; false, with errorString(), when it
    // does not. A running clamd is started again, taking new signatures and settings.
    bool start();
    void stop();

    QString socketPath() const;
    // "clamd:<socket>", as the site takes it.
    QString address() const { return QStringLiteral("clamd:") + socketPath(); }
    QString errorString() const { return m_error; }

private:
    bool answersPing() const;

    std::unique_ptr<QTemporaryDir> m_folder;
    QMap<QString, QString> m_settings;
    QString m_signatures;  // lines of the database, "sha256:size:name"
    QProcess m_process;
    QString m_error;
};
