#include "platform/DialogMessageBox.h"

#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace Quillmere {

DialogMessageBox::DialogMessageBox(OwnerWindow owner)
    : m_owner(std::move(owner))
{
}

void DialogMessageBox::show(Icon icon, const QString &title, const QString &text)
{
    // Message texts break lines with "\r\n"; a label shows the "\r" as a stray glyph.
    QMessageBox box(icon == Icon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon, title,
                    QString(text).replace(u"\r\n"_s, u"\n"_s), QMessageBox::Ok, m_owner ? m_owner() : nullptr);
    // The box answers for its own window: the others stay usable while it waits.
    box.setWindowModality(Qt::WindowModal);
    box.exec();
}

}  // namespace Quillmere
