#include "windows/Form_liuyan.h"

using namespace Qt::StringLiterals;

namespace Quillmere {

Form_liuyan::Form_liuyan(const QString &serverRoot, QObject *parent)
    : WebPaneForm({u"留言"_s, QSize(7005, 7335), QRect(0, 0, 6975, 7335)}, QUrl(serverRoot + u"nds_wd-nds_wd.html"_s),
                  parent)
{
}

}  // namespace Quillmere
