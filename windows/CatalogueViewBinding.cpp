#include "windows/CatalogueViewBinding.h"

#include "platform/ListView.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

CatalogueViewBinding::CatalogueViewBinding(const Controls &controls)
    : m_controls(controls)
{
}

void CatalogueViewBinding::clearRows()
{
    m_controls.list->clearRows();
}

int CatalogueViewBinding::itemCount() const
{
    return m_controls.list->itemCount();
}

void CatalogueViewBinding::addRow(int position, const QString &firstColumnText)
{
    m_controls.list->addRow(position, firstColumnText);
}

void CatalogueViewBinding::setCellText(int row, int column, const QString &text)
{
    m_controls.list->setCellText(row, column, text);
}

void CatalogueViewBinding::clearDownloadAddresses()
{
    if (m_controls.downloadAddresses)
        m_controls.downloadAddresses->clear();
}

void CatalogueViewBinding::appendDownloadAddress(const QString &address)
{
    if (m_controls.downloadAddresses)
        m_controls.downloadAddresses->append(address);
}

void CatalogueViewBinding::setStatusText(const QString &text)
{
    m_controls.status->setText(text);
}

void CatalogueViewBinding::setPagingButtons(bool previousEnabled, bool nextEnabled)
{
    m_controls.previous->setEnabled(previousEnabled);
    m_controls.next->setEnabled(nextEnabled);
}

QString CatalogueViewBinding::keywordText() const
{
    return m_controls.keyword->text();
}

void CatalogueViewBinding::setKeywordText(const QString &text)
{
    m_controls.keyword->setText(text);
}

int CatalogueViewBinding::searchField() const
{
    return m_controls.searchField ? m_controls.searchField->currentIndex() : 0;
}
