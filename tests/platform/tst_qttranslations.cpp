#include "platform/QtTranslations.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;
using namespace Quillmere;

namespace {

QString okButtonText()
{
    QMessageBox box(QMessageBox::NoIcon, u"提示"_s, u"下载失败!"_s, QMessageBox::Ok);
    return box.button(QMessageBox::Ok)->text();
}

QString firstEditMenuEntry()
{
    QLineEdit edit;
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    return menu->actions().value(0)->text();
}

}  // namespace

class TstQtTranslations : public QObject
{
    Q_OBJECT

private slots:
    void buttonsAndMenusSpeakChineseOnceInstalled();
};

void TstQtTranslations::buttonsAndMenusSpeakChineseOnceInstalled()
{
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    // Without the files Qt keeps its own texts.
    QTemporaryDir empty;
    QCOMPARE(installQtTranslations(empty.path()), QStringList());
    QCOMPARE(okButtonText(), u"OK"_s);

    QCOMPARE(installQtTranslations(), QStringList({u"qtbase"_s, u"qtwebengine"_s}));
    QCOMPARE(okButtonText(), u"确定"_s);
    QVERIFY2(firstEditMenuEntry().startsWith(u"撤"_s), qPrintable(firstEditMenuEntry()));
}

QTEST_MAIN(TstQtTranslations)
#include "tst_qttranslations.moc"
