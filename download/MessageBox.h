#pragma once

#include <QString>

namespace Quillmere {

// The standard modal message box with a single OK button.
class MessageBox
{
public:
    enum class Icon { None, Critical };

    virtual ~MessageBox() = default;

    virtual void show(Icon icon, const QString &title, const QString &text) = 0;
};

}  // namespace Quillmere
