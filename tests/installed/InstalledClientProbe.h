#pragma once

#include <QFile>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QWidget>

#include <functional>

// Preloaded into an installed client, it does what a user would — waits for the main window,
// presses 资源管理 and 资源分享 — and writes what it saw, one "key<TAB>value" line each, to
// report.txt in its report folder; the skin the client applied goes to stylesheet.qss.
class InstalledClientProbe final : public QObject
{
    Q_OBJECT

public:
    explicit InstalledClientProbe(const QString &reportFolder);

    void start();

public slots:
    // The desktop's handler of file: URLs, which is where 资源管理 sends the download folder.
    void openFile(const QUrl &url);

private:
    void waitFor(const std::function<bool()> &ready, const std::function<void()> &then);
    void record(const char *key, const QString &value);
    void press(const char *button);
    void finish();

    QString m_reportFolder;
    QFile m_report;
    // Unloading deletes the window.
    QPointer<QWidget> m_mainWindow;
    QUrl m_opened;
};
