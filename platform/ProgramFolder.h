#pragma once

#include <QString>

namespace Quillmere {

// The folder that holds the executable, and the paths the program builds on it.
class ProgramFolder
{
public:
    explicit ProgramFolder(const QString &path);
    static ProgramFolder ofExecutable();

    QString path() const { return m_path; }
    QString skinFile() const;
    // Where downloads go: "Xiazai" beside the executable, or in the user's download location
    // when the program folder is not writable (an installed copy). Ends with "/".
    QString downloadFolder() const;

private:
    QString m_path;
};

}  // namespace Quillmere
