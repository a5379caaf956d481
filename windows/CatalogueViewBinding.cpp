#include "windows/CatalogueViewBinding.h"

#include "platform/ListView.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

CatalogueViewBinding::CatalogueViewBinding(const Widgets &widgets)
    : m_widgets(widgets)
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

void CatalogueViewBinding::setStatusText(const QString &text)
{
    m_widgets.status->setText(text);
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
