#pragma once

#include "catalogue/CatalogueView.h"

#include <QPointer>
#include <QStringList>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLineEdit;

namespace Quillmere {

class ListView;

// The controls of one opening of a catalogue window, as its browser sees them, and the words
// of its status line.
class CatalogueViewBinding : public CatalogueView
{
public:
    struct Widgets
    {
        ListView *list = nullptr;
        QLabel *status = nullptr;
        QAbstractButton *previous = nullptr;
        QAbstractButton *next = nullptr;
        QLineEdit *keyword = nullptr;
        QComboBox *searchField = nullptr;          // none in the user window
        QStringList *downloadAddresses = nullptr;  // none in the user window
    };

    // firstPagePrefix opens the status line of the first page and of a refresh.
    CatalogueViewBinding(const Widgets &widgets, const QString &firstPagePrefix);

    void clearRows() override;
    int itemCount() const override;
    void addRow(int position, const QString &firstColumnText) override;
    void setCellText(int row, int column, const QString &text) override;
    void clearDownloadAddresses() override;
    void appendDownloadAddress(const QString &address) override;
    void showStatus(const CatalogueStatus &status) override;
    void setPagingButtons(bool previousEnabled, bool nextEnabled) override;
    QString keywordText() const override;
    void setKeywordText(const QString &text) override;
    int searchField() const override;

private:
    Widgets m_widgets;
    QString m_firstPagePrefix;
};

}  // namespace Quillmere
