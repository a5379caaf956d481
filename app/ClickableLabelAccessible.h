#pragma once

#include <QAccessibleActionInterface>
#include <QAccessibleWidget>

namespace Quillmere {

class ClickableLabel;

// A clickable label read out as a link by its text, which a screen reader can also press.
class ClickableLabelAccessible final : public QAccessibleWidget
{
public:
    explicit ClickableLabelAccessible(ClickableLabel *label);

    // The factory Qt asks for every object; it answers for clickable labels only.
    static QAccessibleInterface *create(const QString &className, QObject *object);

    QString text(QAccessible::Text type) const override;
    QStringList actionNames() const override;
    void doAction(const QString &actionName) override;
};

}  // namespace Quillmere
