#pragma once

#include "windows/CatalogueForm.h"

class QComboBox;
class QListWidget;

namespace Quillmere {

class Shell;
class WebPane;

// The official catalogue: a page of entries at a time, searched by category or title; a clicked
// entry shows its download links and its web page.
class Form_guanfang final : public CatalogueForm
{
    Q_OBJECT

public:
    Form_guanfang(const QString &serverRoot, const ProgramFolder &programFolder, HttpFetcher &fetcher, Shell &shell,
                  QObject *parent = nullptr);

protected:
    QWidget *createWindow() override;
    void Form_Load() override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void ListView_ItemClick(int row);
    void List1_Click(int index);
    void Web_DownloadComplete();

    Shell &m_shell;

    // The official window's own controls of the current opening, beside the browsing ones.
    QComboBox *m_searchField = nullptr;  // Combo1
    QListWidget *m_links = nullptr;      // List1
    WebPane *m_web = nullptr;            // Web
    // Working data beside the visible controls, remade empty at every opening.
    QStringList m_downloadAddresses;  // List3: field 4 of row r at entry r
    QStringList m_linkTargets;        // List2: target of List1's entry i at entry i
    QString m_clickedAddress;         // HaunCun_Text: field 4 of the clicked row
};

}  // namespace Quillmere
