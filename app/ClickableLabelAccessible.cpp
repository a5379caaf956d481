#include "app/ClickableLabelAccessible.h"

#include "app/ClickableLabel.h"

namespace Quillmere {

ClickableLabelAccessible::ClickableLabelAccessible(ClickableLabel *label)
    : QAccessibleWidget(label, QAccessible::Link)
{
}

QAccessibleInterface *ClickableLabelAccessible::create(const QString &className, QObject *object)
{
    if (className == QLatin1StringView(ClickableLabel::staticMetaObject.className()) && object && object->isWidgetType())
        return new ClickableLabelAccessible(static_cast<ClickableLabel *>(object));
    return nullptr;
}

QString ClickableLabelAccessible::text(QAccessible::Text type) const
{
    if (type == QAccessible::Name && widget()->accessibleName().isEmpty())
        return static_cast<const ClickableLabel *>(widget())->text();
    return QAccessibleWidget::text(type);
}

QStringList ClickableLabelAccessible::actionNames() const
{
    return QAccessibleWidget::actionNames() << pressAction();
}

void ClickableLabelAccessible::doAction(const QString &actionName)
{
    if (actionName != pressAction()) {
        QAccessibleWidget::doAction(actionName);
        return;
    }
    // After the reader's request has been answered: the window this opens loads its first
    // page meanwhile.
    QMetaObject::invokeMethod(static_cast<ClickableLabel *>(widget()), &ClickableLabel::clicked, Qt::QueuedConnection);
}

}  // namespace Quillmere
