#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace Site {

// The operator's side of the site, run on the server against the data folder the site uses:
// listing, hiding and removing what visitors sent, blocking addresses, the log of all that,
// and backups. Every change goes into the store's moderation log with the user who made it.
// Wrong use says what is wrong and changes nothing.
class AdminCommand
{
public:
    // The sub-command a command line names, wherever its options stand ("--data x list");
    // empty when it names none, which starts the site.
    static QString commandIn(const QStringList &arguments);
    // The lines the program's --help shows for the sub-commands.
    static QString usage();
    // "30m", "12h", "7d" (or "90s") in seconds; nothing for anything else.
    static std::optional<qint64> parseDuration(const QString &text);

    // Runs one sub-command: arguments are the program's, from its name on. Returns the exit code.
    static int run(const QStringList &arguments, const QString &defaultDataPath);
};

}  // namespace Site
