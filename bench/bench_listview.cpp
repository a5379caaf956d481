// Filling the list with a page of 32 767 records and painting its first screen.
#include "catalogue/CatalogueProtocol.h"
#include "catalogue/TextEncoding.h"
#include "platform/ListView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

QByteArray makePage(int records)
{
    QString text;
    for (int i = 0; i < records; ++i) {
        const QStringList fields = {u"电子书"_s,
                                    u"桌面开发实战合集第%1卷"_s.arg(i),
                                    u"社区投稿整理，附源码与中文说明"_s,
                                    u"2024-03-15 21:07"_s,
                                    u"本地下载/*/http://h/f/r%1.zip/**/"_s.arg(i),
                                    QString::number(i),
                                    u"http://h/guanfang/view.php?id=%1"_s.arg(i)};
        text += fields.join(QChar(2)) + QChar(1);
    }
    return (text + u"?TtbBa?%1?1"_s.arg(records)).toUtf8();
}

}  // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    ListView view;
    view.resize(625, 206);
    const QList<std::pair<QString, int>> columns = {
        {u"分类"_s, 80},    {u"标题"_s, 265}, {u"备注"_s, 140},   {u"收录时间"_s, 140},
        {u"下载地址"_s, 0}, {u"id"_s, 0},     {u"浏览地址"_s, 0},
    };
    for (int i = 0; i < columns.size(); ++i)
        view.addColumn(i, columns[i].first, columns[i].second);
    view.show();
    QCoreApplication::processEvents();

    const QByteArray body = makePage(32767);
    QList<double> runs;
    for (int run = 0; run < 9; ++run) {
        QElapsedTimer timer;
        timer.start();
        const CataloguePage page = ParseCataloguePage(Utf8ToUnicode(body), ResourceRecord::FieldCount);
        view.clearRows();
        for (const ResourceRecord &record : page.records) {
            const int row = view.itemCount();
            view.addRow(row, record.field(0).toString());
            for (int column = 1; column < ResourceRecord::FieldCount; ++column)
                view.setCellText(row, column, record.field(column).toString());
        }
        QCoreApplication::processEvents();
        view.repaint();
        runs.append(timer.nsecsElapsed() / 1e6);
    }
    std::sort(runs.begin(), runs.end());
    std::printf("list: decode, parse, fill 32767 rows and paint the first screen: %.1f ms (median of %lld)\n",
                runs[runs.size() / 2], qlonglong(runs.size()));
    std::printf("| catalogue page of 32 767 records on screen: decode, parse, fill the list, first paint | %.1f ms | "
                "under 150 ms |\n",
                runs[runs.size() / 2]);
    return view.model()->rowCount() == 32767 ? 0 : 1;
}
