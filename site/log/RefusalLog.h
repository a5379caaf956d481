#pragma once

#include <QHash>
#include <QString>

#include <functional>

namespace Site {

// The connections the site turned away or cut off, for the operator's log, without letting a
// flood of them flood the log: the first of each kind from each client in an interval gets a
// line at once, repeats are counted into one line when the interval ends, and past a number
// of clients in one interval the rest are counted together.
class RefusalLog
{
public:
    static constexpr int ClientsPerInterval = 10;
    static constexpr int IntervalMs = 10'000;

    explicit RefusalLog(std::function<void(const QString &line)> write);

    // what says what happened to a connection, such as "refused a connection (...)".
    void note(const QString &what, const QString &client);
    // Ends the interval, which the caller times: its counted repeats are written.
    void flush();

private:
    std::function<void(const QString &)> m_write;
    QHash<std::pair<QString, QString>, qint64> m_repeats;  // by what and client, 0 when written once only
    QHash<QString, qint64> m_others;                       // by what, for clients past the allowance
};

}  // namespace Site
