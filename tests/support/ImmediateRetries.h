#pragma once

#include "download/Downloader.h"

#include <QTimer>

namespace Quillmere {

// Lets downloader try again as soon as the event loop comes round, rather than after seconds of
// back-off; the free space stays the system's.
inline void retryAtOnce(Downloader &downloader)
{
    downloader.setEnvironment({{}, [&downloader](std::chrono::milliseconds, std::function<void()> retry) {
                                   QTimer::singleShot(0, &downloader, std::move(retry));
                               }});
}

}  // namespace Quillmere
