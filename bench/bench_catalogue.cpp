// Decoding and parsing a catalogue page of 32 767 records, against QString::fromUtf8 alone.
#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <functional>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

QByteArray makePage(int records)
{
    const QStringList categories = {u"软件"_s, u"游戏"_s, u"电子书"_s, u"音乐"_s, u"视频教程"_s};
    QString text;
    for (int i = 0; i < records; ++i) {
        const QStringList fields = {
            categories[i % categories.size()],
            u"桌面开发实战合集第%1卷"_s.arg(i),
            u"社区投稿整理，附源码与中文说明"_s,
            u"2024-03-%1 21:07"_s.arg(1 + i % 28, 2, 10, QChar(u'0')),
            u"本地下载/*/http://127.0.0.1:8642/guanfang/files/r%1.zip/**/"_s.arg(i),
            QString::number(i),
            u"http://127.0.0.1:8642/guanfang/view.php?id=%1"_s.arg(i),
        };
        text += fields.join(QChar(2)) + QChar(1);
    }
    text += u"?TtbBa?%1?3277"_s.arg(records);
    return text.toUtf8();
}

// Median of several runs, in milliseconds.
double medianMs(const std::function<void()> &work)
{
    QList<double> runs;
    for (int i = 0; i < 15; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        runs.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

}  // namespace

int main()
{
    const QByteArray body = makePage(32767);
    qsizetype sink = 0;

    const double fromUtf8 = medianMs([&] { sink += QString::fromUtf8(body).size(); });
    const double decodeOnly = medianMs([&] { sink += Utf8ToUnicode(body).size(); });
    const double decodeAndParse = medianMs([&] {
        const CataloguePage page = ParseCataloguePage(Utf8ToUnicode(body), ResourceRecord::FieldCount);
        sink += page.records.size();
    });

    const QString text = Utf8ToUnicode(body);
    const double parseOnly = medianMs(
        [&] { sink += ParseCataloguePage(text, ResourceRecord::FieldCount).records.size(); });

    std::printf("catalogue page: 32767 records, %.1f MB of UTF-8\n", body.size() / 1e6);
    std::printf("  QString::fromUtf8          %7.2f ms\n", fromUtf8);
    std::printf("  Utf8ToUnicode              %7.2f ms\n", decodeOnly);
    std::printf("  parse alone                %7.2f ms\n", parseOnly);
    std::printf("  Utf8ToUnicode + parse      %7.2f ms  (%.2fx fromUtf8)\n", decodeAndParse, decodeAndParse / fromUtf8);
    std::printf("| catalogue page of 32 767 records (%.1f MB): decode + parse | %.1f ms (%.2fx `QString::fromUtf8` "
                "alone, %.1f ms) | within 2x |\n",
                body.size() / 1e6, decodeAndParse, decodeAndParse / fromUtf8, fromUtf8);
    return sink == 0;
}
