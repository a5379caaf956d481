#include "windows/CatalogueForm.h"

#include "platform/Skin.h"
#include "windows/Controls.h"
#include "windows/WaitCursor.h"

#include <QAbstractButton>

CatalogueForm::CatalogueForm(const CatalogueProfile &profile, const QString &serverRoot,
                             const ProgramFolder &programFolder, HttpFetcher &fetcher, QObject *parent)
    : Form(parent)
    , m_serverRoot(serverRoot)
    , m_programFolder(programFolder)
    , m_browser(profile, fetcher)
{
}

CatalogueForm::~CatalogueForm() = default;

void CatalogueForm::loadCatalogue(const QString &caption, const CatalogueViewBinding::Widgets &widgets,
                                  QAbstractButton *searchButton, const QList<std::pair<QString, int>> &columns)
{
    window()->setWindowTitle(caption);
    m_binding = std::make_unique<CatalogueViewBinding>(widgets);
    m_browser.attach(m_binding.get(), m_serverRoot);
    widgets.previous->setEnabled(false);
    widgets.next->setEnabled(false);
    searchButton->setEnabled(false);
    Controls::setColumns(widgets.list, columns);
    Skin::attach(m_programFolder.skinFile());
    searchButton->setEnabled(true);
    browse(&CatalogueBrowser::LoadFirstPage);
}

void CatalogueForm::Form_Unload()
{
    m_browser.detach();
    m_binding.reset();
}

void CatalogueForm::browse(void (CatalogueBrowser::*operation)())
{
    const WaitCursor busy;
    (m_browser.*operation)();
}
