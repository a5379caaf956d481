#pragma once

#include "download/MessageBox.h"

#include <QPointer>
#include <QWidget>

// QMessageBox, modal over its parent window.
class DialogMessageBox final : public MessageBox
{
public:
    explicit DialogMessageBox(QWidget *parent = nullptr);

    void show(Icon icon, const QString &title, const QString &text) override;

private:
    QPointer<QWidget> m_parent;
};
