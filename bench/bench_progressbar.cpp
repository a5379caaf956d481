// Redrawing the progress bar: the user window's 209 x 33 bar and a large one.
#include "platform/FontSubstitutes.h"
#include "progressbar/ProgressBar.h"

#include <QApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

using Model = ProgressBarModel;

constexpr int Batches = 101;
constexpr int RedrawsPerBatch = 200;

// Microseconds per redraw: the median over batches of the mean of one batch.
double medianMicroseconds(const std::function<void(int)> &redraw)
{
    QList<double> batches;
    for (int batch = 0; batch < Batches; ++batch) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < RedrawsPerBatch; ++i)
            redraw(batch * RedrawsPerBatch + i);
        batches.append(timer.nsecsElapsed() / 1e3 / RedrawsPerBatch);
        QCoreApplication::processEvents();
    }
    std::sort(batches.begin(), batches.end());
    return batches[batches.size() / 2];
}

void measure(ProgressBar &bar, QSize size, const char *target)
{
    bar.resize(size);
    // Every setter redraws the whole bar; Value moves as a download does, a percent at a time.
    const double moving = medianMicroseconds([&](int i) { bar.model().setValue(i % 101); });
    const double same = medianMicroseconds([&](int) { bar.model().setValue(62); });
    std::printf("DrawBar %d x %d: %.2f us a redraw with the value moving, %.2f us with the same value\n", size.width(),
                size.height(), moving, same);
    std::printf("| `DrawBar` on %d x %d, the value moving | %.1f µs | %s |\n", size.width(), size.height(), moving,
                target);
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installFontSubstitutes();
    QWidget host;
    ProgressBar bar(&host);
    bar.setObjectName(u"ProgressBar1"_s);
    host.show();
    // The user window's design data.
    bar.InitProperties();
    bar.model().setValue(0);
    bar.model().setTextStyle(Model::BarTextStyle::PercentText);
    bar.model().setTextEffect(Model::BarTextEffect::Shadow);
    bar.model().setTextEffectColor(0xFFFFFF);
    bar.model().setText(u"ProgressBar1"_s);
    bar.model().setTextFont(QFont(u"宋体"_s, 9));

    measure(bar, QSize(209, 33), "under 50 µs");
    measure(bar, QSize(1920, 200), "—");
    return 0;
}
