#pragma once

#include "common/Result.h"
#include "site/scan/ClamdClient.h"
#include "site/scan/ScanVerdict.h"

#include <QObject>
#include <QThreadPool>

#include <functional>

namespace Site {

// Runs scans beside the site's event loop, on threads of its own, so that a scan never holds
// up another visitor while the one who uploaded waits; each result comes back on the thread
// that owns the pool, as a queued call. As many run at once as the machine has cores: clamd
// serves several, and its work is the processor's.
class ScanPool : public QObject
{
    Q_OBJECT

public:
    using Done = std::function<void(const Result<ScanVerdict, ScanError> &)>;

    explicit ScanPool(const ClamdClient &client, QObject *parent = nullptr);
    // Waits for the scans under way; their results are not delivered.
    ~ScanPool() override;

    // Scans the file open for reading on descriptor from its start, and then writes it out to
    // the disk, so that keeping it costs the loop no wait for the disk; the pool closes it.
    void scan(int descriptor, Done done);

private:
    ClamdClient m_client;
    QThreadPool m_threads;
};

}  // namespace Site
