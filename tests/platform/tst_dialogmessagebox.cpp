#include "platform/DialogMessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;
using namespace Quillmere;

class TstDialogMessageBox : public QObject
{
    Q_OBJECT

private slots:
    void showsAModalBoxUntilOk_data();
    void showsAModalBoxUntilOk();
};

void TstDialogMessageBox::showsAModalBoxUntilOk_data()
{
    QTest::addColumn<MessageBox::Icon>("icon");
    QTest::addColumn<QMessageBox::Icon>("shownIcon");

    QTest::newRow("critical") << MessageBox::Icon::Critical << QMessageBox::Critical;
    QTest::newRow("no icon") << MessageBox::Icon::None << QMessageBox::NoIcon;
}

void TstDialogMessageBox::showsAModalBoxUntilOk()
{
    QFETCH(MessageBox::Icon, icon);
    QFETCH(QMessageBox::Icon, shownIcon);
    QWidget window;
    window.setGeometry(100, 80, 500, 360);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    DialogMessageBox messageBox([&window] { return &window; });

    QString title;
    QString text;
    QMessageBox::Icon seenIcon = QMessageBox::Information;
    QWidget *boxParent = nullptr;
    Qt::WindowModality modality = Qt::NonModal;
    QPoint boxCentre;
    QTimer::singleShot(0, this, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (!box)
            return;
        title = box->windowTitle();
        text = box->text();
        seenIcon = box->icon();
        boxParent = box->parentWidget();
        modality = box->windowModality();
        boxCentre = box->frameGeometry().center();
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    messageBox.show(icon, u"错误"_s, u"5:错误在调用 BeginDownload().\r\n\r\n错误描述: D"_s);

    QCOMPARE(title, u"错误"_s);
    QCOMPARE(text, u"5:错误在调用 BeginDownload().\n\n错误描述: D"_s);
    QCOMPARE(seenIcon, shownIcon);
    QCOMPARE(boxParent, &window);
    QCOMPARE(modality, Qt::WindowModal);
    QVERIFY2((boxCentre - window.frameGeometry().center()).manhattanLength() <= 4,
             qPrintable(u"box centred at %1,%2"_s.arg(boxCentre.x()).arg(boxCentre.y())));
}

QTEST_MAIN(TstDialogMessageBox)
#include "tst_dialogmessagebox.moc"
