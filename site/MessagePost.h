#pragma once

#include "site/SiteMessage.h"

#include <functional>
#include <optional>

class FormData;
class QDateTime;
class SiteStore;

// A message posted on the message board: checked, tidied and stored.
class MessagePost
{
public:
    static constexpr qsizetype MaxNameLength = 20;
    static constexpr qsizetype MaxTextLength = 500;

    enum class Error {
        None,
        Malformed,  // not a form
        EmptyName,
        NameTooLong,
        EmptyText,
        TextTooLong,
        TooFrequent,  // the sender posted too often of late
        StoreFailed,
    };

    struct Result
    {
        Error error = Error::None;
        SiteMessage message;  // what was submitted, tidied; on success also its id and time
    };

    // mayStore, when given, is asked once the message is found good, just before it is stored.
    static Result receive(SiteStore &store, const std::optional<FormData> &form, const QDateTime &now,
                          const std::function<bool()> &mayStore = {});
};
