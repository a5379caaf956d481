#include "windows/CatalogueViewBinding.h"

#include "platform/ListView.h"
#include "windows/FailureText.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace Quillmere {

CatalogueViewBinding::CatalogueViewBinding(const Widgets &widgets, const QString &firstPagePrefix)
    : m_widgets(widgets)
    , m_firstPagePrefix(firstPagePrefix)
{
}

void CatalogueViewBinding::clearRows()
{
    m_widgets.list->clearRows();
}

int CatalogueViewBinding::itemCount() const
{
    return m_widgets.list->itemCount();
}

void CatalogueViewBinding::addRow(int position, const QString &firstColumnText)
{
    m_widgets.list->addRow(position, firstColumnText);
}

void CatalogueViewBinding::setCellText(int row, int column, const QString &text)
{
    m_widgets.list->setCellText(row, column, text);
}

void CatalogueViewBinding::clearDownloadAddresses()
{
    if (m_widgets.downloadAddresses)
        m_widgets.downloadAddresses->clear();
}

void CatalogueViewBinding::appendDownloadAddress(const QString &address)
{
    if (m_widgets.downloadAddresses)
        m_widgets.downloadAddresses->append(address);
}

void CatalogueViewBinding::showStatus(const CatalogueStatus &status)
{
    // Why the server was not reached is told where the narrow line has room for it: in its
    // tooltip, and to screen readers as its description.
    const QString reason = status.failure ? FailureText::reason(*status.failure) : QString();
    m_widgets.status->setToolTip(reason);
    m_widgets.status->setAccessibleDescription(reason);
    QString prefix;
    switch (status.kind) {
    case CatalogueStatus::Kind::Unreachable:
        m_widgets.status->setText(u"连接服务器失败"_s);
        return;
    case CatalogueStatus::Kind::FirstPage:
        prefix = m_firstPagePrefix;
        break;
    case CatalogueStatus::Kind::Paging:
        prefix = u"当前共有 "_s;
        break;
    case CatalogueStatus::Kind::Search:
        prefix = u"搜索到 "_s;
        break;
    }
    m_widgets.status->setText(prefix + status.resourceCount + u" 个资源"_s);
}

void CatalogueViewBinding::setPagingButtons(bool previousEnabled, bool nextEnabled)
{
    m_widgets.previous->setEnabled(previousEnabled);
    m_widgets.next->setEnabled(nextEnabled);
}

QString CatalogueViewBinding::keywordText() const
{
    return m_widgets.keyword->text();
}

void CatalogueViewBinding::setKeywordText(const QString &text)
{
    m_widgets.keyword->setText(text);
}

int CatalogueViewBinding::searchField() const
{
    return m_widgets.searchField ? m_widgets.searchField->currentIndex() : 0;
}

}  // namespace Quillmere
