#include "windows/Form_wangyou.h"

#include "common/Spaces.h"
#include "download/AsyncReadFacility.h"
#include "download/Downloader.h"
#include "download/MessageBox.h"
#include "platform/ListView.h"
#include "platform/Shell.h"
#include "progressbar/ProgressBar.h"
#include "progressbar/PropertyBag.h"
#include "windows/Controls.h"
#include "windows/DownloadFolder.h"
#include "windows/FailureText.h"
#include "windows/TransferText.h"
#include "windows/Twips.h"

#include <QCursor>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>

using namespace Qt::StringLiterals;

namespace Quillmere {

using Controls::place;

namespace {

// The tooltip changes at most this often: often enough to follow, seldom enough to read.
constexpr qint64 DescribeIntervalMs = 250;
// What the row of a downloaded entry says when its bytes matched the digest its server named.
const QString VerifiedNote = u"已校验"_s;

// ProgressBar1's stored design data.
PropertyBag progressBarDesign()
{
    using Model = ProgressBarModel;
    using Stored = Model::Stored;
    const auto storedDefault = &Model::storedDefault;
    PropertyBag design;
    design.WriteProperty(u"value"_s, 0, storedDefault(Stored::Value));
    design.WriteProperty(u"textstyle"_s, qint32(Model::BarTextStyle::PercentText), storedDefault(Stored::TextStyle));
    design.WriteProperty(u"texteffect"_s, qint32(Model::BarTextEffect::Shadow), storedDefault(Stored::TextEffect));
    design.WriteProperty(u"texteffectcolor"_s, Model::Colour(0xFFFFFF), storedDefault(Stored::TextEffectColor));
    design.WriteProperty(u"textfont"_s, QFont(u"宋体"_s, 9), storedDefault(Stored::TextFont));
    design.WriteProperty(u"text"_s, u"ProgressBar1"_s, storedDefault(Stored::Text));
    return design;
}

}  // namespace

Form_wangyou::Form_wangyou(const QString &serverRoot, const ProgramFolder &programFolder, HttpFetcher &fetcher,
                           Shell &shell, MessageBox &messageBox, FacilityFactory makeFacility, QObject *parent)
    : CatalogueForm(CatalogueProfile::user(), serverRoot, programFolder, fetcher, parent)
    , m_shell(shell)
    , m_messageBox(messageBox)
    , m_makeFacility(std::move(makeFacility))
{
    m_retryCountdown.setInterval(1000);
    connect(&m_retryCountdown, &QTimer::timeout, this, &Form_wangyou::describeRetry);
}

QWidget *Form_wangyou::createWindow()
{
    auto *window = new QWidget;
    window->setFixedSize(twipsToPixels(8265), twipsToPixels(8055));

    auto *searchRow = place<QGroupBox>(window, u"Frame2"_s, twipsRect(50, 30, 8190, 735));
    searchRow->setTitle(u"搜索"_s);
    m_keyword = place<QLineEdit>(searchRow, u"Text1"_s, twipsRect(120, 240, 2895, 375));
    // Screen readers name each control by the text it shows, or by the caption it sits under.
    m_keyword->setAccessibleName(searchRow->title());
    m_search = Controls::button(searchRow, u"Sousuo"_s, u"搜索"_s, twipsRect(3120, 240, 615, 375));
    m_refresh = Controls::button(searchRow, u"shuaxin"_s, u"刷新"_s, twipsRect(3720, 240, 615, 375));
    m_status = Controls::plainLabel(searchRow, u"JiLu_Text"_s, u"Label1"_s, twipsRect(4440, 330, 2655, 375),
                                    QColor(255, 0, 0));
    auto *folderButton = Controls::button(searchRow, u"Command_ziyuanguanli"_s, u"资源管理"_s,
                                          twipsRect(7080, 240, 975, 345));
    auto *listFrame = place<QGroupBox>(window, u"Frame1"_s, twipsRect(50, 720, 8175, 6615));
    m_list = place<ListView>(listFrame, u"ListView"_s, twipsRect(120, 240, 7935, 6255));
    m_list->setAccessibleName(u"网友资源"_s);
    m_previous = Controls::button(window, u"Qian"_s, u"上一页"_s, twipsRect(960, 7440, 1455, 495));
    m_next = Controls::button(window, u"Hou"_s, u"下一页"_s, twipsRect(3120, 7440, 1455, 495));
    m_bar = place<ProgressBar>(window, u"ProgressBar1"_s, twipsRect(5040, 7440, 3135, 495));
    m_bar->ReadProperties(progressBarDesign());
    m_bar->setAccessibleName(u"下载进度"_s);
    m_bar->hide();
    m_downloader = new Downloader(m_makeFacility(), m_messageBox, window);

    const QList<QWidget *> tabOrder = {m_previous, m_next, m_list, m_keyword, m_search, folderButton, m_refresh};
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        QWidget::setTabOrder(tabOrder[i - 1], tabOrder[i]);

    connect(folderButton, &QPushButton::clicked, this, &Form_wangyou::Command_ziyuanguanli_Click);
    connect(m_list, &ListView::ItemClick, this, &Form_wangyou::ListView_ItemClick);
    connect(m_list, &ListView::DblClick, this, &Form_wangyou::StartDownload);
    connect(m_list, &ListView::EnterPressed, this, &Form_wangyou::StartDownload);
    connect(m_downloader, &Downloader::DownloadProgress, this, &Form_wangyou::ShowDownloadProgress);
    connect(m_downloader, &Downloader::DownloadComplete, this, &Form_wangyou::Downloader1_DownloadComplete);
    connect(m_downloader, &Downloader::DownloadError, this, &Form_wangyou::Downloader1_DownloadError);
    connect(m_downloader, &Downloader::DownloadNoRoom, this, &Form_wangyou::Downloader1_DownloadNoRoom);
    connect(m_downloader, &Downloader::DownloadFailed, this, [this](const TransferError &reason) { m_failure = reason; });
    connect(m_downloader, &Downloader::DownloadRetrying, this, &Form_wangyou::Downloader1_DownloadRetrying);
    connect(m_downloader, &Downloader::DownloadVerified, this, [this] { m_verified = true; });
    return window;
}

void Form_wangyou::Form_Load()
{
    loadCatalogue(
        u"网友资源"_s, u"已收录 "_s,
        {{u"分类"_s, 80}, {u"标题"_s, 200}, {u"备注"_s, 105}, {u"收录时间"_s, 140}, {u"下载地址"_s, 0}, {u"id"_s, 0}});
    // The keys start at the first control in the tab order that takes them; "上一页" is off on
    // the first page.
    for (QWidget *control :
         {static_cast<QWidget *>(m_previous), static_cast<QWidget *>(m_next), static_cast<QWidget *>(m_list)}) {
        if (control->isEnabled()) {
            control->setFocus();
            break;
        }
    }
}

void Form_wangyou::Form_Unload()
{
    // Stops the download and its retries; what has arrived stays, to be continued next time.
    if (m_downloader)
        m_downloader->CancelAllDownload();
    CatalogueForm::Form_Unload();
}

void Form_wangyou::ListView_ItemClick(int row)
{
    m_browser.setSelectedRow(row);
}

void Form_wangyou::Command_ziyuanguanli_Click()
{
    DownloadFolder::open(m_programFolder, m_shell);
}

void Form_wangyou::StartDownload()
{
    const int row = m_browser.selectedRow();
    const QString address = m_list->cellText(row, ResourceRecord::DownloadAddress);
    const QString title = m_list->cellText(row, ResourceRecord::Title);
    const Result<SaveTarget, SaveTarget::Problem> target = SaveTarget::forEntry(
        m_programFolder.downloadFolder(), m_browser.baseUrl() + u"up/"_s, title, address);
    if (!target && target.error() == SaveTarget::Problem::NoAddress)
        return;
    // A download runs while the bar shows.
    if (!m_bar->isHidden()) {
        tell(u"无法多任务下载!"_s);
        return;
    }
    if (!target) {
        tell(u"下载地址无效!"_s);
        return;
    }

    m_target = *target;
    m_targetFolder = m_target.titleFolder();
    m_targetTitle = trimSpaces(title);
    // A folder that cannot be made fails the download once its file cannot be written either,
    // and that failure tells the user.
    std::ignore = m_target.makeFolders();
    m_bar->show();
    m_bar->model().setValue(0);
    m_rate = TransferRate();
    m_sinceStart.start();
    m_describedAt = -1;
    m_failure = {};
    m_verified = false;
    switch (m_downloader->BeginDownload(m_target.url(), m_target.file())) {
    case Downloader::Start::Started:
        return;
    case Downloader::Start::Busy:
        // Another running copy of the program is downloading the same file.
        tell(u"无法多任务下载!"_s);
        break;
    case Downloader::Start::Refused:
        // The downloader has already told the user why.
        break;
    }
    endDownload();
}

void Form_wangyou::ShowDownloadProgress(qint64 CurBytes, qint64 MaxBytes)
{
    // nearbyint rounds halves to the even neighbour: 98.5 % shows 98, 99.5 % shows 100.
    const double percent = std::nearbyint(double(CurBytes) / double(MaxBytes) * 100);
    constexpr double Largest = std::numeric_limits<qint32>::max();
    m_bar->model().setValue(qint32(std::clamp(percent, -Largest, Largest)));
    // Bytes flow again: the tooltip tells them at once.
    if (m_retryCountdown.isActive()) {
        m_retryCountdown.stop();
        m_describedAt = -1;
    }
    describeProgress(CurBytes, MaxBytes);
}

void Form_wangyou::describeProgress(qint64 CurBytes, qint64 MaxBytes)
{
    const qint64 now = m_sinceStart.elapsed();
    if (m_describedAt >= 0 && now - m_describedAt < DescribeIntervalMs)
        return;
    m_describedAt = now;
    m_rate.sample(now, CurBytes);
    describe(TransferText::progress(CurBytes, MaxBytes, m_rate.bytesPerSecond(), m_rate.secondsLeft(MaxBytes)));
}

void Form_wangyou::Downloader1_DownloadRetrying(qint64 delayMs, int attempt)
{
    m_retryAt.setRemainingTime(delayMs);
    m_retryAttempt = attempt;
    m_retryCountdown.start();
    describeRetry();
}

void Form_wangyou::describeRetry()
{
    // Whole seconds rounded up, so the count reaches 0 only when the retry starts.
    const qint64 seconds = (m_retryAt.remainingTime() + 999) / 1000;
    describe(TransferText::retrying(seconds, m_retryAttempt));
}

void Form_wangyou::describe(const QString &text)
{
    // A tooltip already on screen keeps its text unless it is shown anew.
    if (QToolTip::isVisible() && QToolTip::text() == m_bar->toolTip())
        QToolTip::showText(QCursor::pos(), text, m_bar);
    m_bar->setToolTip(text);
    m_bar->setAccessibleDescription(text);
}

void Form_wangyou::Downloader1_DownloadComplete()
{
    // The file is in place now, so the file manager can show it.
    m_bar->model().setValue(100);
    endDownload();
    if (m_verified)
        markDownloadedRow(VerifiedNote);
    m_shell.showFile(m_target.file());
    if (!window()->isActiveWindow())
        m_shell.notify(u"下载完成"_s, m_targetTitle);
}

void Form_wangyou::Downloader1_DownloadError()
{
    endDownload();
    tell(u"下载失败!\n"_s + FailureText::reason(m_failure));
}

void Form_wangyou::Downloader1_DownloadNoRoom(qint64 needed, qint64 available)
{
    endDownload();
    tell(TransferText::noRoom(needed, available));
}

// The bar is gone once the file is there, so the entry's row says what became of it, as long
// as the list still shows that entry.
void Form_wangyou::markDownloadedRow(const QString &note)
{
    for (int row = 0; row < m_list->itemCount(); ++row) {
        const Result<SaveTarget, SaveTarget::Problem> target = SaveTarget::forEntry(
            m_programFolder.downloadFolder(), m_browser.baseUrl() + u"up/"_s,
            m_list->cellText(row, ResourceRecord::Title), m_list->cellText(row, ResourceRecord::DownloadAddress));
        if (target && target->file() == m_target.file() && target->url() == m_target.url())
            m_list->model()->setData(m_list->model()->index(row, 0), note, Qt::ToolTipRole);
    }
}

// Back to idle; folders made for a download that left nothing in them go again.
void Form_wangyou::endDownload()
{
    m_retryCountdown.stop();
    m_bar->hide();
    m_bar->setToolTip(QString());
    m_bar->setAccessibleDescription(QString());
    m_target.removeMadeFolders();
}

void Form_wangyou::tell(const QString &message)
{
    m_messageBox.show(MessageBox::Icon::None, u"提示"_s, message);
}

}  // namespace Quillmere
