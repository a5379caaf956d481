#pragma once

#include "platform/ListView.h"

#include <QList>
#include <QTest>

// The list's columns as designed: their widths in pixels, 0 for a hidden column. Returns
// whether they match, after a failure has been reported.
inline bool hasColumns(const ListView *list, const QList<int> &widths)
{
    [&] {
        QCOMPARE(list->model()->columnCount(), widths.size());
        for (int column = 0; column < widths.size(); ++column) {
            QCOMPARE(list->isColumnHidden(column), widths[column] == 0);
            if (widths[column])
                QCOMPARE(list->columnWidth(column), widths[column]);
        }
    }();
    return !QTest::currentTestFailed();
}
