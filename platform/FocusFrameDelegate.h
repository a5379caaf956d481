#pragma once

#include <QStyledItemDelegate>

namespace Quillmere {

// Draws items as usual and frames the current one while its view has the focus, selected or
// not: a skin colours the selected item but has no hold on the current one, the one the keys
// act on.
class FocusFrameDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // A dashed frame just inside rect, in the colour of the text it surrounds.
    static void drawFrame(QPainter *painter, const QRect &rect, const QPalette &palette, bool selected);
};

}  // namespace Quillmere
