#include "catalogue/CatalogueProfile.h"

using namespace Qt::StringLiterals;

namespace Quillmere {

CatalogueProfile CatalogueProfile::official()
{
    return {
        .cataloguePath = u"guanfang/"_s,
        .endpoint = u"admin_upload.php?"_s,
        .fieldCount = 7,
        .hasSearchField = true,
        .pagingRepeatsSearch = true,
        .keepsDownloadAddresses = true,
    };
}

CatalogueProfile CatalogueProfile::user()
{
    return {
        .cataloguePath = u"wangyou/"_s,
        .endpoint = u"users_upload.php?"_s,
        .fieldCount = 6,
        .hasSearchField = false,
        .pagingRepeatsSearch = false,
        .keepsDownloadAddresses = false,
    };
}

}  // namespace Quillmere
