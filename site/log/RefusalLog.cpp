#include "site/log/RefusalLog.h"

using namespace Qt::StringLiterals;

namespace Site {

RefusalLog::RefusalLog(std::function<void(const QString &)> write)
    : m_write(std::move(write))
{
}

void RefusalLog::note(const QString &what, const QString &client)
{
    const std::pair key{what, client};
    if (const auto seen = m_repeats.find(key); seen != m_repeats.end()) {
        ++*seen;
        return;
    }
    if (m_repeats.size() >= ClientsPerInterval) {
        ++m_others[what];
        return;
    }
    m_repeats.insert(key, 0);
    m_write(u"%1: %2"_s.arg(client, what));
}

void RefusalLog::flush()
{
    const QString seconds = QString::number(IntervalMs / 1000);
    for (auto it = m_repeats.cbegin(); it != m_repeats.cend(); ++it) {
        if (it.value() > 0)
            m_write(u"%1: %2, %3 more times in %4 s"_s.arg(it.key().second, it.key().first, QString::number(it.value()),
                                                           seconds));
    }
    for (auto it = m_others.cbegin(); it != m_others.cend(); ++it)
        m_write(u"other clients: %1, %2 times in %3 s"_s.arg(it.key(), QString::number(it.value()), seconds));
    m_repeats.clear();
    m_others.clear();
}

}  // namespace Site
