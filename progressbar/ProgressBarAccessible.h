#pragma once

#include <QAccessibleValueInterface>
#include <QAccessibleWidget>

namespace Quillmere {

class ProgressBar;

// What assistive technologies see of the self-drawn bar: a progress bar whose value, minimum
// and maximum are the model's, whose value text is what the bar prints, and whose description
// (sizes, speed, time left) is the one its host gives it.
class ProgressBarAccessible final : public QAccessibleWidget, public QAccessibleValueInterface
{
public:
    explicit ProgressBarAccessible(ProgressBar *bar);

    // The factory Qt asks for every object; it answers for progress bars only.
    static QAccessibleInterface *create(const QString &className, QObject *object);

    void *interface_cast(QAccessible::InterfaceType type) override;
    QString text(QAccessible::Text type) const override;

    QVariant currentValue() const override;
    // The bar is only shown, never set, from outside.
    void setCurrentValue(const QVariant &) override { }
    QVariant maximumValue() const override;
    QVariant minimumValue() const override;
    QVariant minimumStepSize() const override { return 1; }

private:
    const ProgressBar *bar() const;
};

}  // namespace Quillmere
