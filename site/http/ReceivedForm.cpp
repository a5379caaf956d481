#include "site/http/ReceivedForm.h"

namespace Site {

QString ReceivedForm::value(QStringView name) const
{
    for (const auto &[fieldName, data] : m_fields) {
        if (fieldName == name)
            return QString::fromUtf8(data);
    }
    return QString();
}

ReceivedForm::File *ReceivedForm::file(QStringView name)
{
    for (auto &[fieldName, file] : m_files) {
        if (fieldName == name)
            return &file;
    }
    return nullptr;
}

}  // namespace Site
