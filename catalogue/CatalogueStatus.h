#pragma once

#include "common/TransferError.h"

#include <QString>

#include <optional>

namespace Quillmere {

// What the status line tells after a browsing operation; the window puts it into words.
struct CatalogueStatus
{
    enum class Kind {
        FirstPage,  // the first page, and a refresh
        Paging,     // the next or the previous page
        Search,
        // The fetch failed: the list shows the last page that did arrive.
        Unreachable,
    };

    Kind kind = Kind::FirstPage;
    // As the server sent it, whatever it holds; empty when the server could not be reached.
    QString resourceCount;
    // Why the server could not be reached.
    std::optional<TransferError> failure;

    friend bool operator==(const CatalogueStatus &, const CatalogueStatus &) = default;
};

}  // namespace Quillmere
