// Start-up of the client to its main window on screen, against an empty Qt Widgets program:
// each is started many times, alternately, and timed until its window has painted.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

#include <algorithm>
#include <cstdio>

namespace {

double startedMs(const QString &program, const QStringList &arguments = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    process.start(program, arguments);
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

}  // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QString folder = QCoreApplication::applicationDirPath();
    const QString client = folder + QStringLiteral("/bench_startup_client");
    const QString empty = folder + QStringLiteral("/bench_startup_empty");

    // The first runs only warm the file cache.
    const QStringList shareOpenGL = {QStringLiteral("--share-opengl")};
    startedMs(client);
    startedMs(empty);
    QList<double> clientRuns, emptyRuns, emptyGLRuns;
    for (int run = 0; run < 15; ++run) {
        clientRuns.append(startedMs(client));
        emptyRuns.append(startedMs(empty));
        emptyGLRuns.append(startedMs(empty, shareOpenGL));
    }
    const auto failed = [](const QList<double> &runs) { return *std::min_element(runs.begin(), runs.end()) < 0; };
    if (failed(clientRuns) || failed(emptyRuns) || failed(emptyGLRuns)) {
        std::fprintf(stderr, "a program did not show its window\n");
        return 1;
    }
    const double clientMs = median(clientRuns);
    const double emptyMs = median(emptyRuns);
    const double emptyGLMs = median(emptyGLRuns);
    std::printf("start-up to the main window: %.0f ms; empty Qt Widgets program: %.0f ms (%.2fx); the same asking "
                "for shared OpenGL contexts: %.0f ms (%.2fx)\n",
                clientMs, emptyMs, clientMs / emptyMs, emptyGLMs, clientMs / emptyGLMs);
    std::printf("| start-up to the main window on screen | %.0f ms: %.2fx an empty Qt Widgets program (%.0f ms), "
                "%.2fx one that also asks for the shared OpenGL contexts the web engine needs (%.0f ms) | within "
                "1.5x |\n",
                clientMs, clientMs / emptyMs, emptyMs, clientMs / emptyGLMs, emptyGLMs);
    return 0;
}
