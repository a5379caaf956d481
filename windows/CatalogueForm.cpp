#include "windows/CatalogueForm.h"

#include "platform/Skin.h"
#include "windows/Controls.h"
#include "windows/WaitCursor.h"

#include <QPushButton>

namespace Quillmere {

CatalogueForm::CatalogueForm(const CatalogueProfile &profile, const QString &serverRoot,
                             const ProgramFolder &programFolder, HttpFetcher &fetcher, QObject *parent)
    : Form(parent)
    , m_serverRoot(serverRoot)
    , m_programFolder(programFolder)
    , m_browser(profile, fetcher)
{
}

CatalogueForm::~CatalogueForm() = default;

void CatalogueForm::loadCatalogue(const QString &caption, const QString &firstPagePrefix,
                                  const QList<std::pair<QString, int>> &columns, QComboBox *searchField,
                                  QStringList *downloadAddresses)
{
    window()->setWindowTitle(caption);
    m_binding = std::make_unique<CatalogueViewBinding>(
        CatalogueViewBinding::Widgets{m_list, m_status, m_previous, m_next, m_keyword, searchField, downloadAddresses},
        firstPagePrefix);
    m_browser.attach(m_binding.get(), m_serverRoot);
    const std::pair<QPushButton *, void (CatalogueBrowser::*)()> operations[] = {
        {m_search, &CatalogueBrowser::Search},
        {m_refresh, &CatalogueBrowser::Refresh},
        {m_previous, &CatalogueBrowser::PreviousPage},
        {m_next, &CatalogueBrowser::NextPage},
    };
    for (const auto &[button, operation] : operations)
        connect(button, &QPushButton::clicked, this, [this, operation = operation] { browse(operation); });
    m_previous->setEnabled(false);
    m_next->setEnabled(false);
    m_search->setEnabled(false);
    Controls::setColumns(m_list, columns);
    Skin::attach(m_programFolder.skinFile());
    m_search->setEnabled(true);
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

}  // namespace Quillmere
