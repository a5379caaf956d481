#pragma once

#include <QColor>
#include <QList>
#include <QRect>
#include <QString>

#include <utility>

class QLabel;
class QPushButton;
class QWidget;

namespace Quillmere {

class ListView;
class WebPane;

// Building blocks of the windows' designs: every control is named after its designer name.
namespace Controls {

template<typename Control> Control *place(QWidget *parent, const QString &name, const QRect &geometry)
{
    auto *control = new Control(parent);
    control->setObjectName(name);
    control->setGeometry(geometry);
    return control;
}

QPushButton *button(QWidget *parent, const QString &name, const QString &caption, const QRect &geometry);
// A label showing text from the server, never read as markup.
QLabel *plainLabel(QWidget *parent, const QString &name, const QString &text, const QRect &geometry,
                   const QColor &colour = {});
// A browser pane that shows why, in the page's place, when a page's certificate is refused.
WebPane *webPane(QWidget *parent, const QString &name, const QRect &geometry);
// Removes the list's columns, then adds these (caption, width in pixels; 0 hides) in order.
void setColumns(ListView *list, const QList<std::pair<QString, int>> &columns);

}  // namespace Controls

}  // namespace Quillmere
