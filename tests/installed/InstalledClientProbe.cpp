#include "InstalledClientProbe.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString MainWindowTitle = u"Quillmere盒子共享版"_s;

QWidget *visibleWindow(const QString &title)
{
    for (QWidget *window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowTitle() == title)
            return window;
    }
    return nullptr;
}

// The engine module as the dynamic loader mapped it, or an empty string while it is not loaded.
QString mappedEngineModule()
{
    QFile maps(u"/proc/self/maps"_s);
    if (!maps.open(QIODevice::ReadOnly))
        return u"(unreadable /proc/self/maps)"_s;
    for (const QByteArray &line : maps.readAll().split('\n')) {
        const qsizetype path = line.indexOf('/');
        if (path >= 0 && line.endsWith("/libquillmere_webengine.so"))
            return QString::fromLocal8Bit(line.mid(path));
    }
    return {};
}

void startProbe()
{
    const QString reportFolder = qEnvironmentVariable("QUILLMERE_PROBE_REPORT");
    if (reportFolder.isEmpty())
        return;
    // The web engine's helper processes are Qt programs too: they must not probe as well.
    qunsetenv("LD_PRELOAD");
    qunsetenv("QUILLMERE_PROBE_REPORT");
    auto *probe = new InstalledClientProbe(reportFolder);
    // The application is still being made; its windows come once the event loop runs.
    QTimer::singleShot(0, probe, &InstalledClientProbe::start);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(startProbe)

InstalledClientProbe::InstalledClientProbe(const QString &reportFolder)
    : m_reportFolder(reportFolder)
    , m_report(QDir(reportFolder).filePath(u"report.txt"_s))
{
    m_report.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

void InstalledClientProbe::start()
{
    record("uid", QString::number(getuid()));
    waitFor([this] { return (m_mainWindow = visibleWindow(MainWindowTitle)); },
            [this] {
                record("main-window", m_mainWindow->windowTitle());
                record("program-folder", QCoreApplication::applicationDirPath());
                QFile sheet(QDir(m_reportFolder).filePath(u"stylesheet.qss"_s));
                if (sheet.open(QIODevice::WriteOnly))
                    sheet.write(qApp->styleSheet().toUtf8());
                record("engine-at-start", mappedEngineModule());

                // Both commands act at once: the folder is handed to the desktop, the web window made.
                QDesktopServices::setUrlHandler(u"file"_s, this, "openFile");
                press("Command_guanli");
                record("download-folder", m_opened.toLocalFile());
                press("Command_fenxiang");
                waitFor([this] { return !m_mainWindow || !m_mainWindow->isVisible(); },
                        [this] {
                            record("engine-after-web-window", mappedEngineModule());
                            finish();
                        });
            });
}

void InstalledClientProbe::openFile(const QUrl &url)
{
    m_opened = url;
}

void InstalledClientProbe::waitFor(const std::function<bool()> &ready, const std::function<void()> &then)
{
    if (ready()) {
        then();
        return;
    }
    // Polled rather than timed: the client decides when it is ready, however loaded the machine.
    QTimer::singleShot(50, this, [this, ready, then] { waitFor(ready, then); });
}

void InstalledClientProbe::record(const char *key, const QString &value)
{
    m_report.write(key + QByteArray("\t") + value.toUtf8() + '\n');
    m_report.flush();
}

void InstalledClientProbe::press(const char *button)
{
    if (auto *command = m_mainWindow->findChild<QPushButton *>(QString::fromLatin1(button)))
        command->click();
    else
        record("missing-button", QString::fromLatin1(button));
}

void InstalledClientProbe::finish()
{
    record("done", u"yes"_s);
    m_report.close();
    QCoreApplication::exit(0);
}
