#pragma once

#include "catalogue/CatalogueProtocol.h"
#include "platform/ListView.h"
#include "windows/Form_wangyou.h"

#include "support/FormControls.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>

namespace Quillmere {

// The user window driven as a user does: a search, then a double-click on a row.

// Searches for keyword and waits for the list; the row of the entry titled title, -1 when none.
inline int searchUserCatalogue(const Form_wangyou &form, const QString &keyword, const QString &title)
{
    auto *box = control<QLineEdit>(form, QStringLiteral("Text1"));
    box->clear();
    box->insert(keyword);
    QTest::mouseClick(control<QPushButton>(form, QStringLiteral("Sousuo")), Qt::LeftButton);
    auto *list = control<ListView>(form, QStringLiteral("ListView"));
    if (!QTest::qWaitFor([&] { return list->model()->rowCount() == list->itemCount(); }, 30000))
        return -1;
    for (int row = 0; row < list->itemCount(); ++row) {
        if (list->cellText(row, ResourceRecord::Title) == title)
            return row;
    }
    return -1;
}

inline void doubleClickRow(const Form_wangyou &form, int row)
{
    auto *list = control<ListView>(form, QStringLiteral("ListView"));
    const QPoint centre = list->visualRect(list->model()->index(row, 1)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, centre);
}

}  // namespace Quillmere
