#include "windows/Form_guanfang.h"

#include "catalogue/LinkTargets.h"
#include "platform/FocusFrameDelegate.h"
#include "platform/ListView.h"
#include "platform/Shell.h"
#include "platform/WebPane.h"
#include "windows/Controls.h"
#include "windows/Twips.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace Quillmere {

using Controls::place;

Form_guanfang::Form_guanfang(const QString &serverRoot, const ProgramFolder &programFolder, HttpFetcher &fetcher,
                             Shell &shell, QObject *parent)
    : CatalogueForm(CatalogueProfile::official(), serverRoot, programFolder, fetcher, parent)
    , m_shell(shell)
{
}

QWidget *Form_guanfang::createWindow()
{
    auto *window = new QWidget;
    window->setFixedSize(twipsToPixels(12615), twipsToPixels(8565));

    m_searchField = place<QComboBox>(window, u"Combo1"_s, twipsRect(15, 15, 1005, 300));
    m_searchField->addItems({u"分类"_s, u"标题"_s});
    m_keyword = place<QLineEdit>(window, u"textsou"_s, twipsRect(1020, 0, 2085, 300));
    m_keyword->setPlaceholderText(u"请输入关键字"_s);
    // Screen readers name each control by the text it shows, or by the heading above it.
    m_keyword->setAccessibleName(m_keyword->placeholderText());
    m_keyword->installEventFilter(this);
    m_search = Controls::button(window, u"SoSo"_s, u"搜索"_s, twipsRect(3120, 0, 855, 300));
    m_refresh = Controls::button(window, u"ShuaXin"_s, u"刷新"_s, twipsRect(3960, 0, 855, 300));
    m_status = Controls::plainLabel(window, u"JiLu_Text"_s, u"0"_s, twipsRect(4920, 60, 5415, 250), QColor(255, 0, 0));
    Controls::plainLabel(window, u"Label1"_s, u"下载地址"_s, twipsRect(10560, 120, 975, 255));
    m_list = place<ListView>(window, u"ListView"_s, twipsRect(0, 360, 9375, 3090));
    m_list->setAccessibleName(u"官方资源"_s);
    m_links = place<QListWidget>(window, u"List1"_s, twipsRect(9480, 360, 3075, 2760));
    m_links->setAccessibleName(u"下载地址"_s);
    m_links->setItemDelegate(new FocusFrameDelegate(m_links));
    m_links->installEventFilter(this);
    m_previous = Controls::button(window, u"Qian"_s, u"上一页"_s, twipsRect(9585, 3120, 1335, 300));
    m_next = Controls::button(window, u"Hou"_s, u"下一页"_s, twipsRect(11100, 3120, 1335, 300));
    m_web = Controls::webPane(window, u"Web"_s, twipsRect(0, 3480, 12615, 5085));

    m_downloadAddresses.clear();
    m_linkTargets.clear();
    m_clickedAddress.clear();

    connect(m_list, &ListView::ItemClick, this, &Form_guanfang::ListView_ItemClick);
    connect(m_links, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { List1_Click(m_links->row(item)); });
    connect(m_web, &WebPane::DownloadComplete, this, &Form_guanfang::Web_DownloadComplete);
    return window;
}

void Form_guanfang::Form_Load()
{
    m_web->setSilent(true);
    m_searchField->setCurrentIndex(1);
    m_web->Navigate(QUrl(m_serverRoot + u"zorvik/"_s));
    loadCatalogue(u"官方资源"_s, u"已分享 "_s,
                  {{u"分类"_s, 80},
                   {u"标题"_s, 265},
                   {u"备注"_s, 140},
                   {u"收录时间"_s, 140},
                   {u"下载地址"_s, 0},
                   {u"id"_s, 0},
                   {u"浏览地址"_s, 0}},
                  m_searchField, &m_downloadAddresses);
}

bool Form_guanfang::eventFilter(QObject *watched, QEvent *event)
{
    // Every click into the keyword box empties it, ready for a new keyword.
    if (watched == m_keyword && event->type() == QEvent::MouseButtonPress)
        m_keyword->clear();
    // Enter opens the current link as a click does; moving through the links opens nothing.
    if (watched == m_links && event->type() == QEvent::KeyPress && m_links->currentRow() >= 0) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            List1_Click(m_links->currentRow());
            return true;
        }
    }
    return CatalogueForm::eventFilter(watched, event);
}

void Form_guanfang::ListView_ItemClick(int row)
{
    m_browser.setSelectedRow(row);
    m_links->clear();
    m_linkTargets.clear();
    m_clickedAddress = m_downloadAddresses.value(row);
    for (const DownloadLink &link : ParseDownloadLinks(m_clickedAddress)) {
        m_links->addItem(link.label);
        m_linkTargets.append(link.target);
    }
    if (const std::optional<QUrl> page = browsableAddress(m_list->cellText(row, ResourceRecord::BrowseAddress)))
        m_web->Navigate(*page);
}

void Form_guanfang::List1_Click(int index)
{
    const QString target = m_linkTargets.value(index);
    if (isOpenableLinkTarget(target))
        m_shell.openTarget(target);
}

void Form_guanfang::Web_DownloadComplete()
{
    // The page now shown is the document whose context menu is kept away.
    m_web->suppressContextMenuOfDocument();
}

}  // namespace Quillmere
