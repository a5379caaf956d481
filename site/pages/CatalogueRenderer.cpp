#include "site/pages/CatalogueRenderer.h"

#include <QUrl>

using namespace Qt::StringLiterals;

namespace Site {

namespace {

constexpr QChar RecordEnd = u'\x01';
constexpr QChar FieldSeparator = u'\x02';
constexpr QStringView TrailerMarker = u"?TtbBa?";

QString absoluteTarget(const QString &target, const QString &root)
{
    return QUrl(target).scheme().isEmpty() ? root + target : target;
}

QStringList commonFields(const SiteResource &resource)
{
    QStringList fields = {resource.category, resource.title, resource.remark, resource.collectedAt};
    for (QString &field : fields)
        field = CatalogueRenderer::cleanField(field);
    return fields;
}

}  // namespace

QString CatalogueRenderer::cleanField(const QString &value)
{
    QString clean = value;
    clean.remove(RecordEnd).remove(FieldSeparator);
    // Removing one marker can join the text around it into another, so repeat until none is left.
    while (clean.contains(TrailerMarker))
        clean.remove(TrailerMarker.toString());
    return clean;
}

QByteArray CatalogueRenderer::officialPage(const SiteStore::Page &page, const QString &root)
{
    QList<QStringList> records;
    for (const SiteResource &resource : page.resources) {
        QString links;
        for (const ResourceLink &link : resource.links)
            links += cleanField(link.label) + u"/*/"_s + cleanField(absoluteTarget(link.target, root)) + u"/**/"_s;
        QStringList fields = commonFields(resource);
        fields << links << QString::number(resource.id)
               << root + u"guanfang/view.php?id="_s + QString::number(resource.id);
        records.append(fields);
    }
    return render(records, page.total);
}

QByteArray CatalogueRenderer::userPage(const SiteStore::Page &page)
{
    QList<QStringList> records;
    for (const SiteResource &resource : page.resources)
        records.append(commonFields(resource) << cleanField(resource.filePath) << QString::number(resource.id));
    return render(records, page.total);
}

QByteArray CatalogueRenderer::render(const QList<QStringList> &records, qint64 total)
{
    QString body;
    for (const QStringList &fields : records)
        body += fields.join(FieldSeparator) + RecordEnd;
    const qint64 lastPage = (total + SiteStore::PageSize - 1) / SiteStore::PageSize;
    body += TrailerMarker;
    body += QString::number(total) + u'?' + QString::number(lastPage);
    return body.toUtf8();
}

}  // namespace Site
