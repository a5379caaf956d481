#pragma once

#include <QLabel>

namespace Quillmere {

// A label that acts on a left click, like a link drawn straight onto the window. It is also
// reached with Tab and acts on Space or Enter, with a dotted frame while it has the focus, and
// screen readers meet it as a link.
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickableLabel(const QString &text, QWidget *parent = nullptr);

Q_SIGNALS:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

}  // namespace Quillmere
