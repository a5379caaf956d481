#include "windows/Controls.h"

#include "platform/ListView.h"
#include "platform/WebPane.h"
#include "windows/FailureText.h"

#include <QLabel>
#include <QPushButton>

namespace Quillmere {

namespace Controls {

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry)
{
    auto *control = place<QPushButton>(parent, name, geometry);
    control->setText(caption);
    // Enter presses it as Space does.
    control->setAutoDefault(true);
    return control;
}

QLabel *plainLabel(QWidget *parent, const QString &name, const QString &text, const QRect &geometry, const QColor &colour)
{
    auto *label = place<QLabel>(parent, name, geometry);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    if (colour.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, colour);
        label->setPalette(palette);
    }
    return label;
}

void setColumns(ListView *list, const QList<std::pair<QString, int>> &columns)
{
    list->removeAllColumns();
    for (int position = 0; position < columns.size(); ++position)
        list->addColumn(position, columns[position].first, columns[position].second);
}

WebPane *webPane(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *pane = place<WebPane>(parent, name, geometry);
    QObject::connect(pane, &WebPane::CertificateRefused, pane,
                     [pane](const TransferError &reason) { pane->showText(FailureText::reason(reason)); });
    return pane;
}

}  // namespace Controls

}  // namespace Quillmere
