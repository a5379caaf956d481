#include "app/Form_zhuchuangti.h"
#include "platform/FontSubstitutes.h"

#include "support/RecordingShell.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

// A window the main window can open, counting its loads.
class FakeForm : public Form
{
public:
    int loads = 0;

protected:
    QWidget *createWindow() override { return new QWidget; }
    void Form_Load() override { ++loads; }
};

// Records, whenever a window hides, how many windows are still on screen.
class VisibleWindowsAtHide : public QObject
{
public:
    QList<int> remaining;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (event->type() == QEvent::Hide && widget && widget->isWindow()) {
            const QWidgetList windows = QApplication::topLevelWidgets();
            remaining.append(std::count_if(windows.begin(), windows.end(), [](QWidget *w) { return w->isVisible(); }));
        }
        return false;
    }
};

void writeSkin(const QString &programFolder, const QString &sheet)
{
    QDir(programFolder).mkpath(u"Skin"_s);
    QFile file(programFolder + u"/Skin/Skin.she"_s);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(sheet.toUtf8());
}

}  // namespace

class TstFormZhuchuangti : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void windowFollowsTheDesign();
    void label1UsesAKaiFace();
    void commandOpensItsWindowAndUnloadsTheMainWindow_data();
    void commandOpensItsWindowAndUnloadsTheMainWindow();
    void closingTheOpenedWindowBringsTheMainWindowBackWithTheSkin();
    void eachWindowIsOneObjectLoadedAnewAtEveryOpening();
    void commandsWithoutAWindowAreDisabled();
    void downloadFolderIsCreatedAndOpened();
    void missingSkinDoesNotStopTheWindow();
    void closingTheMainWindowEndsTheProgram();

private:
    QWidget *control(const QString &name) const;

    QTemporaryDir m_programFolder;
    RecordingShell m_shell;
    FakeForm m_guanfang, m_wangyou, m_fenxiang, m_liuyan;
    std::unique_ptr<Form_zhuchuangti> m_main;
};

void TstFormZhuchuangti::initTestCase()
{
    installFontSubstitutes();
    QVERIFY(m_programFolder.isValid());
}

void TstFormZhuchuangti::init()
{
    writeSkin(m_programFolder.path(), u"QPushButton { color: rgb(1, 2, 3); }"_s);
    m_shell.folders.clear();
    m_main = std::make_unique<Form_zhuchuangti>(
        ProgramFolder(m_programFolder.path()), m_shell,
        Form_zhuchuangti::Windows{&m_guanfang, &m_wangyou, &m_fenxiang, &m_liuyan});
    m_main->show();
    QVERIFY(m_main->isLoaded());
}

void TstFormZhuchuangti::cleanup()
{
    for (FakeForm *form : {&m_guanfang, &m_wangyou, &m_fenxiang, &m_liuyan}) {
        form->unload();
        form->loads = 0;
    }
    m_main.reset();
    qApp->setStyleSheet(QString());
}

QWidget *TstFormZhuchuangti::control(const QString &name) const
{
    return m_main->window() ? m_main->window()->findChild<QWidget *>(name) : nullptr;
}

void TstFormZhuchuangti::windowFollowsTheDesign()
{
    QWidget *window = m_main->window();
    QCOMPARE(window->windowTitle(), u"Quillmere盒子共享版"_s);
    QCOMPARE(window->size(), QSize(386, 287));
    QCOMPARE(window->minimumSize(), window->maximumSize());

    auto *picture = qobject_cast<QLabel *>(control(u"Picture"_s));
    QVERIFY(picture);
    QCOMPARE(picture->geometry(), QRect(0, 0, 386, 252));
    QCOMPARE(picture->pixmap().size(), QSize(386, 252));

    const QList<std::pair<QString, QString>> buttons = {
        {u"Command_guanfang"_s, u"官方资源"_s},
        {u"Command_wangyou"_s, u"网友资源"_s},
        {u"Command_fenxiang"_s, u"资源分享"_s},
        {u"Command_guanli"_s, u"资源管理"_s},
    };
    const QList<int> lefts = {1, 96, 192, 288};
    QList<QWidget *> tabOrder;
    for (int i = 0; i < buttons.size(); ++i) {
        auto *button = qobject_cast<QPushButton *>(control(buttons[i].first));
        QVERIFY2(button, qPrintable(buttons[i].first));
        QCOMPARE(button->text(), buttons[i].second);
        QCOMPARE(button->geometry(), QRect(lefts[i], 253, 97, 33));
        tabOrder.append(button);
    }
    auto *label = qobject_cast<QLabel *>(control(u"Label1"_s));
    QVERIFY(label);
    // Tab reaches the label after the four commands.
    tabOrder.append(label);
    for (int i = 0; i + 1 < tabOrder.size(); ++i)
        QCOMPARE(tabOrder[i]->nextInFocusChain(), tabOrder[i + 1]);
    QCOMPARE(label->text(), u"点击留言"_s);
    QCOMPARE(label->geometry(), QRect(183, 236, 97, 25));
    QCOMPARE(label->font().pointSize(), 12);
    QVERIFY(label->font().bold());
    QCOMPARE(label->palette().color(QPalette::WindowText), QColor(64, 64, 64));
    QVERIFY(!label->autoFillBackground());
    // Lies beneath the buttons it overlaps, above the picture.
    const QObjectList children = window->children();
    QVERIFY(children.indexOf(picture) < children.indexOf(label));
    QVERIFY(children.indexOf(label) < children.indexOf(control(u"Command_guanfang"_s)));
}

void TstFormZhuchuangti::label1UsesAKaiFace()
{
    if (!QFontDatabase::families().contains(u"AR PL UKai CN"_s))
        QSKIP("no Kai face installed");
    auto *label = qobject_cast<QLabel *>(control(u"Label1"_s));
    QCOMPARE(QFontInfo(label->font()).family(), u"AR PL UKai CN"_s);
}

// A click, Space or Enter on a command, or a screen reader's press (key 0).
void TstFormZhuchuangti::commandOpensItsWindowAndUnloadsTheMainWindow_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("target");

    QTest::newRow("官方资源 clicked") << u"Command_guanfang"_s << int(Qt::Key_unknown) << 0;
    QTest::newRow("网友资源 clicked") << u"Command_wangyou"_s << int(Qt::Key_unknown) << 1;
    QTest::newRow("资源分享 clicked") << u"Command_fenxiang"_s << int(Qt::Key_unknown) << 2;
    QTest::newRow("点击留言 clicked") << u"Label1"_s << int(Qt::Key_unknown) << 3;
    QTest::newRow("官方资源 on Enter") << u"Command_guanfang"_s << int(Qt::Key_Return) << 0;
    QTest::newRow("网友资源 on Space") << u"Command_wangyou"_s << int(Qt::Key_Space) << 1;
    QTest::newRow("点击留言 on Space") << u"Label1"_s << int(Qt::Key_Space) << 3;
    QTest::newRow("点击留言 on Enter") << u"Label1"_s << int(Qt::Key_Enter) << 3;
    QTest::newRow("点击留言 pressed by a reader") << u"Label1"_s << 0 << 3;
}

void TstFormZhuchuangti::commandOpensItsWindowAndUnloadsTheMainWindow()
{
    QFETCH(QString, command);
    QFETCH(int, key);
    QFETCH(int, target);
    const QList<FakeForm *> forms = {&m_guanfang, &m_wangyou, &m_fenxiang, &m_liuyan};

    if (key == Qt::Key_unknown) {
        QTest::mouseClick(control(command), Qt::LeftButton);
    } else if (key != 0) {
        // Space presses a button on its release, Enter at once.
        QTest::keyClick(control(command), Qt::Key(key));
    } else {
        QAccessibleInterface *link = QAccessible::queryAccessibleInterface(control(command));
        QCOMPARE(link->role(), QAccessible::Link);
        QCOMPARE(link->text(QAccessible::Name), u"点击留言"_s);
        QVERIFY(link->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
        link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY(!m_main->isLoaded());
    }

    for (int i = 0; i < forms.size(); ++i)
        QCOMPARE(forms[i]->isLoaded(), i == target);
    QVERIFY(forms[target]->window()->isVisible());
    QCOMPARE(forms[target]->loads, 1);
    QVERIFY(!m_main->isLoaded());
}

void TstFormZhuchuangti::closingTheOpenedWindowBringsTheMainWindowBackWithTheSkin()
{
    QCOMPARE(qApp->styleSheet(), u"QPushButton { color: rgb(1, 2, 3); }"_s);
    QTest::mouseClick(control(u"Command_guanfang"_s), Qt::LeftButton);

    writeSkin(m_programFolder.path(), u"QPushButton { color: rgb(9, 8, 7); }"_s);
    m_guanfang.window()->close();

    QVERIFY(!m_guanfang.isLoaded());
    QVERIFY(m_main->isLoaded());
    QVERIFY(m_main->window()->isVisible());
    QCOMPARE(qApp->styleSheet(), u"QPushButton { color: rgb(9, 8, 7); }"_s);
}

void TstFormZhuchuangti::eachWindowIsOneObjectLoadedAnewAtEveryOpening()
{
    QTest::mouseClick(control(u"Command_wangyou"_s), Qt::LeftButton);
    QPointer<QWidget> first = m_wangyou.window();
    m_wangyou.window()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(first.isNull());

    QTest::mouseClick(control(u"Command_wangyou"_s), Qt::LeftButton);
    QCOMPARE(m_wangyou.loads, 2);
    QVERIFY(m_wangyou.window());
    QVERIFY(m_wangyou.window() != first);
}

void TstFormZhuchuangti::commandsWithoutAWindowAreDisabled()
{
    m_main.reset();
    m_main = std::make_unique<Form_zhuchuangti>(ProgramFolder(m_programFolder.path()), m_shell,
                                                Form_zhuchuangti::Windows{&m_guanfang, nullptr, nullptr, nullptr});
    m_main->show();

    QVERIFY(control(u"Command_guanfang"_s)->isEnabled());
    QVERIFY(!control(u"Command_wangyou"_s)->isEnabled());
    QVERIFY(!control(u"Command_fenxiang"_s)->isEnabled());
    QVERIFY(!control(u"Label1"_s)->isEnabled());
    QVERIFY(control(u"Command_guanli"_s)->isEnabled());

    QTest::mouseClick(control(u"Label1"_s), Qt::LeftButton);
    QVERIFY(m_main->isLoaded());
}

void TstFormZhuchuangti::downloadFolderIsCreatedAndOpened()
{
    QTest::mouseClick(control(u"Command_guanli"_s), Qt::LeftButton);
    QTest::mouseClick(control(u"Command_guanli"_s), Qt::LeftButton);

    const QString folder = m_programFolder.path() + u"/Xiazai/"_s;
    QCOMPARE(m_shell.folders, QStringList({folder, folder}));
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(m_main->isLoaded());
}

void TstFormZhuchuangti::missingSkinDoesNotStopTheWindow()
{
    m_main->unload();
    qApp->setStyleSheet(u"QPushButton { color: rgb(5, 5, 5); }"_s);
    QVERIFY(QFile::remove(m_programFolder.path() + u"/Skin/Skin.she"_s));

    m_main->show();
    QVERIFY(m_main->window()->isVisible());
    QCOMPARE(qApp->styleSheet(), u"QPushButton { color: rgb(5, 5, 5); }"_s);
}

// Qt ends the program when its last window closes: switching must never leave none on screen.
void TstFormZhuchuangti::closingTheMainWindowEndsTheProgram()
{
    QVERIFY(qApp->quitOnLastWindowClosed());
    VisibleWindowsAtHide watcher;
    qApp->installEventFilter(&watcher);

    QTest::mouseClick(control(u"Command_fenxiang"_s), Qt::LeftButton);
    m_fenxiang.window()->close();
    QTest::mouseClick(control(u"Command_guanfang"_s), Qt::LeftButton);
    m_guanfang.window()->close();
    QCOMPARE(watcher.remaining, QList<int>({1, 1, 1, 1}));

    m_main->window()->close();
    QCOMPARE(watcher.remaining.last(), 0);
    qApp->removeEventFilter(&watcher);
}

QTEST_MAIN(TstFormZhuchuangti)
#include "tst_form_zhuchuangti.moc"
