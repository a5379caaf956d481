#pragma once

#include "catalogue/CatalogueBrowser.h"
#include "platform/ProgramFolder.h"
#include "windows/CatalogueViewBinding.h"
#include "windows/Form.h"

#include <memory>

class QAbstractButton;

// What both catalogue windows share: a browser that outlives every opening, bound afresh to
// the controls of each opening, and the busy cursor while it waits for the server.
class CatalogueForm : public Form
{
    Q_OBJECT

public:
    const CatalogueBrowser &browser() const { return m_browser; }

protected:
    CatalogueForm(const CatalogueProfile &profile, const QString &serverRoot, const ProgramFolder &programFolder,
                  HttpFetcher &fetcher, QObject *parent);
    ~CatalogueForm() override;

    // The load steps both windows take, from the caption to the first page.
    void loadCatalogue(const QString &caption, const CatalogueViewBinding::Widgets &widgets,
                       QAbstractButton *searchButton, const QList<std::pair<QString, int>> &columns);
    void Form_Unload() override;

    // Runs a browsing operation with the busy cursor showing.
    void browse(void (CatalogueBrowser::*operation)());

    const QString m_serverRoot;
    const ProgramFolder m_programFolder;
    CatalogueBrowser m_browser;

private:
    std::unique_ptr<CatalogueViewBinding> m_binding;
};
