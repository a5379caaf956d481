#pragma once

#include "catalogue/CatalogueBrowser.h"
#include "platform/ProgramFolder.h"
#include "windows/CatalogueViewBinding.h"
#include "windows/Form.h"

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace Quillmere {

class ListView;

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

    // The load steps both windows take, from the caption to the first page, with the browsing
    // buttons wired to their operations. Only the official window has a search field and keeps
    // the download addresses. firstPagePrefix opens the status line of the first page and of a
    // refresh.
    void loadCatalogue(const QString &caption, const QString &firstPagePrefix,
                       const QList<std::pair<QString, int>> &columns, QComboBox *searchField = nullptr,
                       QStringList *downloadAddresses = nullptr);
    void Form_Unload() override;

    const QString m_serverRoot;
    const ProgramFolder m_programFolder;
    CatalogueBrowser m_browser;

    // The browsing controls of the current opening, placed by each window's design (object
    // names are the designer names); they go with the window when it closes.
    ListView *m_list = nullptr;         // ListView
    QLabel *m_status = nullptr;         // JiLu_Text
    QLineEdit *m_keyword = nullptr;     // textsou, Text1
    QPushButton *m_search = nullptr;    // SoSo, Sousuo
    QPushButton *m_refresh = nullptr;   // ShuaXin, shuaxin
    QPushButton *m_previous = nullptr;  // Qian
    QPushButton *m_next = nullptr;      // Hou

private:
    // Runs a browsing operation with the busy cursor showing.
    void browse(void (CatalogueBrowser::*operation)());

    std::unique_ptr<CatalogueViewBinding> m_binding;
};

}  // namespace Quillmere
