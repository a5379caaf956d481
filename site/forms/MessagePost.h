#pragma once

#include "common/Result.h"
#include "site/store/SiteMessage.h"

#include <functional>
#include <optional>

class QDateTime;

namespace Site {

class ReceivedForm;
class SiteStore;

// A message posted on the message board: checked, tidied and stored.
class MessagePost
{
public:
    static constexpr qsizetype MaxNameLength = 20;
    static constexpr qsizetype MaxTextLength = 500;

    enum class Error {
        Malformed,  // not a form
        EmptyName,
        NameTooLong,
        EmptyText,
        TextTooLong,
        TooFrequent,  // the sender posted too often of late
        Blocked,      // the operator blocked the sender
        StoreFailed,
    };

    // Why a message was not taken, with what was submitted, tidied, for the form to show again.
    struct Rejection
    {
        Error reason;
        SiteMessage entered;
    };

    // Says why a sender's good message may not be stored, or nothing when it may.
    using Gate = std::function<std::optional<Error>()>;

    // Returns the message as stored, with its id, time and the sender's address. mayStore, when
    // given, is asked once the message is found good, just before it is stored.
    // A null form is one that could not be read.
    static Result<SiteMessage, Rejection> receive(SiteStore &store, const ReceivedForm *form, const QDateTime &now,
                                                  const QString &sender = {}, const Gate &mayStore = {});
};

}  // namespace Site
