#pragma once

#include "platform/ListView.h"

#include <QList>
#include <QTest>

namespace Quillmere {

// The list's columns as designed: their widths in pixels, 0 for a hidden column, which the
// view never shows. Returns whether they match, after a failure has been reported.
inline bool hasColumns(const ListView *list, const QList<int> &widths)
{
    [&] {
        QList<int> shown;
        for (int width : widths) {
            if (width != 0)
                shown.append(width);
        }
        QCOMPARE(list->model()->columnCount(), shown.size());
        for (int column = 0; column < shown.size(); ++column)
            QCOMPARE(list->columnWidth(column), shown[column]);
    }();
    return !QTest::currentTestFailed();
}

}  // namespace Quillmere
