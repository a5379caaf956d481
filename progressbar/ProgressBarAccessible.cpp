#include "progressbar/ProgressBarAccessible.h"

#include "progressbar/ProgressBar.h"

namespace Quillmere {

ProgressBarAccessible::ProgressBarAccessible(ProgressBar *bar)
    : QAccessibleWidget(bar, QAccessible::ProgressBar)
{
}

QAccessibleInterface *ProgressBarAccessible::create(const QString &className, QObject *object)
{
    if (className == QLatin1StringView(ProgressBar::staticMetaObject.className()) && object && object->isWidgetType())
        return new ProgressBarAccessible(static_cast<ProgressBar *>(object));
    return nullptr;
}

void *ProgressBarAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::ValueInterface)
        return static_cast<QAccessibleValueInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QString ProgressBarAccessible::text(QAccessible::Text type) const
{
    // Read out as the bar prints it: "42%", the value or the caption.
    if (type == QAccessible::Value)
        return bar()->text();
    return QAccessibleWidget::text(type);
}

QVariant ProgressBarAccessible::currentValue() const
{
    return bar()->model().Value();
}

QVariant ProgressBarAccessible::maximumValue() const
{
    return bar()->model().Max();
}

QVariant ProgressBarAccessible::minimumValue() const
{
    return bar()->model().Min();
}

const ProgressBar *ProgressBarAccessible::bar() const
{
    return static_cast<const ProgressBar *>(object());
}

}  // namespace Quillmere
