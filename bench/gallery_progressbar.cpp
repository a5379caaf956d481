// One sheet of progress bars to look at: every theme in both orientations, enabled and
// disabled, and every text effect. Writes the PNG named on the command line.
#include "platform/FontSubstitutes.h"
#include "progressbar/ProgressBar.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPainter>

#include <cstdio>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

using Model = ProgressBarModel;

constexpr int Margin = 8;
constexpr int LabelWidth = 130;
constexpr QSize Horizontal(209, 33);
constexpr QSize Vertical(33, 110);
constexpr int ColumnWidth = Horizontal.width() + Vertical.width() + 2 * Margin;

// The user window's bar: percentage text with a white shadow in 宋体 9 pt.
void designData(ProgressBar &bar, QSize size)
{
    bar.resize(size);
    bar.InitProperties();
    bar.model().setTextStyle(Model::BarTextStyle::PercentText);
    bar.model().setTextFont(QFont(u"宋体"_s, 9));
    bar.model().setValue(62);
}

// Rows of labelled bars, top to bottom.
class Sheet
{
public:
    explicit Sheet(QImage &image)
        : m_painter(&image)
    {
    }

    void row(const QString &label, int height)
    {
        m_top += m_height + Margin;
        m_height = height;
        m_painter.drawText(Margin, m_top + 20, label);
    }
    // render() keeps to the window shape, as the screen shows it.
    void place(ProgressBar &bar, int x) { bar.render(&m_painter, QPoint(LabelWidth + x, m_top)); }

private:
    QPainter m_painter;
    int m_top = 0;
    int m_height = 0;
};

void drawSheet(QImage &image)
{
    Sheet sheet(image);
    QWidget host;
    ProgressBar bar(&host);
    host.show();

    sheet.row(u"enabled / disabled"_s, 12);
    for (int theme = 1; theme <= 10; ++theme) {
        sheet.row(theme == 10 ? u"theme 10 (custom)"_s : u"theme %1"_s.arg(theme), Vertical.height());
        for (bool enabled : {true, false}) {
            const int x = enabled ? 0 : ColumnWidth;
            designData(bar, Horizontal);
            bar.model().setPBSCustomeColor1(0xFF0000);
            bar.model().setPBSCustomeColor2(0xC0A080);
            bar.model().setTheme(Model::BarTheme(theme));
            bar.model().setEnabled(enabled);
            sheet.place(bar, x);
            bar.resize(Vertical);
            bar.model().setOrientations(Model::BarOrientation::Vertical);
            bar.model().setTextStyle(Model::BarTextStyle::ValueText);
            sheet.place(bar, x + Horizontal.width() + Margin);
        }
    }

    const QStringList effects = {u"plain"_s, u"raised"_s, u"sunken"_s, u"outline"_s, u"shadow"_s};
    for (int effect = 1; effect <= effects.size(); ++effect) {
        sheet.row(u"effect %1 %2"_s.arg(effect).arg(effects[effect - 1]), Horizontal.height());
        for (bool enabled : {true, false}) {
            designData(bar, Horizontal);
            bar.model().setTextFont(QFont(u"宋体"_s, 14, QFont::Bold));
            bar.model().setTextStyle(Model::BarTextStyle::CaptionText);
            bar.model().setText(u"下载 ProgressBar1"_s);
            bar.model().setTextForeColor(0x800000);
            bar.model().setTextEffect(Model::BarTextEffect(effect));
            bar.model().setEnabled(enabled);
            sheet.place(bar, enabled ? 0 : ColumnWidth);
        }
    }

    sheet.row(u"orientation 3"_s, Horizontal.height());
    for (bool enabled : {true, false}) {
        designData(bar, Horizontal);
        bar.model().setOrientations(Model::BarOrientation(3));
        bar.model().setEnabled(enabled);
        sheet.place(bar, enabled ? 0 : ColumnWidth);
    }
    sheet.row(u"square, bottom right"_s, Horizontal.height());
    designData(bar, Horizontal);
    bar.model().setRoundedValue(0);
    bar.model().setTextAlignment(Model::BarTextAlignment::BottomRight);
    sheet.place(bar, 0);
    sheet.row(u"rounded 16, top left"_s, Horizontal.height());
    designData(bar, Horizontal);
    bar.model().setRoundedValue(16);
    bar.model().setTextAlignment(Model::BarTextAlignment::TopLeft);
    sheet.place(bar, 0);
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    installFontSubstitutes();
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : u"progressbar-gallery.png"_s;

    // A heading, ten theme rows, five effect rows and three more.
    QImage image(LabelWidth + 2 * ColumnWidth,
                 2 * Margin + 12 + 10 * (Vertical.height() + Margin) + 8 * (Horizontal.height() + Margin),
                 QImage::Format_RGB32);
    image.fill(QColor(236, 233, 216));
    drawSheet(image);
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return 1;
    }
    std::printf("%s\n", qPrintable(path));
    return 0;
}
