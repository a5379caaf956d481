#pragma once

#include "download/MessageBox.h"

#include <QList>

namespace Quillmere {

// Records the boxes it is asked to show instead of showing them.
class RecordingMessageBox : public MessageBox
{
public:
    struct Shown
    {
        Icon icon;
        QString title;
        QString text;
    };

    void show(Icon icon, const QString &title, const QString &text) override { boxes.append({icon, title, text}); }

    QList<Shown> boxes;
};

}  // namespace Quillmere
