// Start-up of the client to its main window on screen, against an empty Qt Widgets program:
// each is started many times, alternately, and timed until its window has painted.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace {

double startedMs(const QString &program)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    while (process.state() != QProcess::NotRunning && !process.canReadLine())
        process.waitForReadyRead(30000);
    const double elapsed = timer.nsecsElapsed() / 1e6;
    process.waitForFinished(30000);
    return process.readLine().trimmed() == "shown" ? elapsed : -1;
}

double median(QList<double> runs)
{
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();
    const QString client = folder + QStringLiteral("/bench_startup_client");
    const QString empty = folder + QStringLiteral("/bench_startup_empty");

    // The first runs only warm the file cache.
    startedMs(client);
    startedMs(empty);
    QList<double> clientRuns, emptyRuns;
    for (int run = 0; run < 15; ++run) {
        clientRuns.append(startedMs(client));
        emptyRuns.append(startedMs(empty));
    }
    if (std::min(*std::min_element(clientRuns.begin(), clientRuns.end()),
                 *std::min_element(emptyRuns.begin(), emptyRuns.end())) < 0) {
        std::fprintf(stderr, "a program did not show its window\n");
        return 1;
    }
    const double clientMs = median(clientRuns);
    const double emptyMs = median(emptyRuns);
    std::printf("start-up to the main window: %.0f ms, empty Qt Widgets program: %.0f ms (%.2fx)\n", clientMs,
                emptyMs, clientMs / emptyMs);
    return 0;
}
