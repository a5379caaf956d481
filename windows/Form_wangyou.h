#pragma once

#include "common/TransferError.h"
#include "download/SaveTarget.h"
#include "download/TransferRate.h"
#include "windows/CatalogueForm.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

namespace Quillmere {

class AsyncReadFacility;
class Downloader;
class MessageBox;
class ProgressBar;
class Shell;

// The catalogue of resources shared by users. A double-clicked entry is downloaded into a
// folder named after its title under the download folder, one download at a time, while the
// progress bar shows how far it has come; its tooltip tells the sizes, the speed and the time left,
// or, while the line is down, when the download is tried again. A failure says why.
class Form_wangyou final : public CatalogueForm
{
    Q_OBJECT

public:
    // Makes the read facility of each opening's downloader.
    using FacilityFactory = std::function<std::unique_ptr<AsyncReadFacility>()>;

    Form_wangyou(const QString &serverRoot, const ProgramFolder &programFolder, HttpFetcher &fetcher, Shell &shell,
                 MessageBox &messageBox, FacilityFactory makeFacility, QObject *parent = nullptr);

    // Folder of the download last started.
    QString targetFolder() const { return m_targetFolder; }

protected:
    QWidget *createWindow() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    void ListView_ItemClick(int row);
    void Command_ziyuanguanli_Click();
    void StartDownload();
    void ShowDownloadProgress(qint64 CurBytes, qint64 MaxBytes);
    void describeProgress(qint64 CurBytes, qint64 MaxBytes);
    void describeRetry();
    void describe(const QString &text);
    void Downloader1_DownloadRetrying(qint64 delayMs, int attempt);
    void Downloader1_DownloadComplete();
    void Downloader1_DownloadError();
    void Downloader1_DownloadNoRoom(qint64 needed, qint64 available);
    void markDownloadedRow(const QString &note);
    void endDownload();
    void tell(const QString &message);

    Shell &m_shell;
    MessageBox &m_messageBox;
    FacilityFactory m_makeFacility;
    QString m_targetFolder;
    SaveTarget m_target;
    QString m_targetTitle;
    TransferRate m_rate;
    QElapsedTimer m_sinceStart;
    qint64 m_describedAt = -1;
    // Why the download failed, told with "下载失败!".
    TransferError m_failure;
    bool m_verified = false;
    // While a retry waits: when it starts, and which attempt it is; the tooltip counts down.
    QDeadlineTimer m_retryAt;
    int m_retryAttempt = 0;
    QTimer m_retryCountdown;

    // The user window's own controls of the current opening, beside the browsing ones.
    ProgressBar *m_bar = nullptr;       // ProgressBar1
    QPointer<Downloader> m_downloader;  // Downloader1, goes with the window
};

}  // namespace Quillmere
