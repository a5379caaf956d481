#include "catalogue/CatalogueProfile.h"

using namespace Qt::StringLiterals;

CatalogueProfile CatalogueProfile::official()
{
    return {
        .cataloguePath = u"guanfang/"_s,
        .endpoint = u"admin_upload.php?"_s,
        .fieldCount = 7,
        .hasSearchField = true,
        .pagingRepeatsSearch = true,
        .keepsDownloadAddresses = true,
        .firstPagePrefix = u"已分享 "_s,
        .pagingPrefix = u"当前共有 "_s,
        .searchPrefix = u"搜索到 "_s,
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
        .firstPagePrefix = u"已收录 "_s,
        .pagingPrefix = u"当前共有 "_s,
        .searchPrefix = u"搜索到 "_s,
    };
}
