#pragma once

#include "windows/Form.h"

#include <QString>
#include <QWidget>

namespace Quillmere {

// A control of the form's open window by its designer name; null when there is none.
template<typename T> T *control(const Form &form, const QString &name)
{
    return form.window()->findChild<T *>(name);
}

}  // namespace Quillmere
