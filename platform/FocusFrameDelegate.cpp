#include "platform/FocusFrameDelegate.h"

#include <QPainter>

namespace Quillmere {

void FocusFrameDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    if (option.state.testFlag(QStyle::State_HasFocus))
        drawFrame(painter, option.rect, option.palette, option.state.testFlag(QStyle::State_Selected));
}

void FocusFrameDelegate::drawFrame(QPainter *painter, const QRect &rect, const QPalette &palette, bool selected)
{
    painter->save();
    painter->setPen(QPen(palette.color(selected ? QPalette::HighlightedText : QPalette::Text), 1, Qt::DashLine));
    painter->drawRect(rect.adjusted(0, 0, -1, -1));
    painter->restore();
}

}  // namespace Quillmere
