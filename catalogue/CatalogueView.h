#pragma once

#include "catalogue/CatalogueStatus.h"

#include <QString>

namespace Quillmere {

// The controls a catalogue window lends its browser.
class CatalogueView
{
public:
    virtual ~CatalogueView() = default;

    virtual void clearRows() = 0;
    virtual int itemCount() const = 0;
    virtual void addRow(int position, const QString &firstColumnText) = 0;
    virtual void setCellText(int row, int column, const QString &text) = 0;

    // Field 4 of every row, kept beside the list so that entry r belongs to row r.
    virtual void clearDownloadAddresses() = 0;
    virtual void appendDownloadAddress(const QString &address) = 0;

    virtual void showStatus(const CatalogueStatus &status) = 0;
    virtual void setPagingButtons(bool previousEnabled, bool nextEnabled) = 0;

    virtual QString keywordText() const = 0;
    virtual void setKeywordText(const QString &text) = 0;
    // Selected index of the search-field selector: 0 category, 1 title.
    virtual int searchField() const = 0;
};

}  // namespace Quillmere
