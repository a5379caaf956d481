#include "app/ClickableLabel.h"

#include "app/ClickableLabelAccessible.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace Quillmere {

ClickableLabel::ClickableLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    static const bool accessible = (QAccessible::installFactory(&ClickableLabelAccessible::create), true);
    Q_UNUSED(accessible);
    // Tab only: a click acts at once, so it has no use for the focus.
    setFocusPolicy(Qt::TabFocus);
}

void ClickableLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Q_EMIT clicked();
    QLabel::mouseReleaseEvent(event);
}

void ClickableLabel::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        event->accept();
        Q_EMIT clicked();
        return;
    default:
        QLabel::keyPressEvent(event);
    }
}

void ClickableLabel::paintEvent(QPaintEvent *event)
{
    QLabel::paintEvent(event);
    if (!hasFocus())
        return;
    // Drawn round the text in the label's own ink, so that nothing moves when the focus
    // arrives and the buttons that overlap the label's lower edge do not hide it.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::WindowText), 1, Qt::DotLine));
    const QRect text = fontMetrics().boundingRect(contentsRect(), int(alignment()), this->text());
    painter.drawRect(text.adjusted(0, 0, 1, 1) & rect().adjusted(0, 0, -1, -1));
}

}  // namespace Quillmere
