// The client log window and the text window.

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QTimer>
#include <QtTest>

#include "zem_debuglogform.h"
#include "zem_memo.h"

class TestDebugLogForm : public QObject {
    Q_OBJECT

private slots:
    void linesWhileHiddenNewestSelected()
    {
        TZEMDebugLogForm log;
        QVERIFY(!log.actTextBox->isEnabled());
        QVERIFY(!log.actCopy->isEnabled());
        for (int i = 0; i < 40; ++i)
            log.ClientLog(QStringLiteral("Read Adapters: "), QStringLiteral("Read... %1").arg(i));
        log.ClientLogFormat(QStringLiteral("Read Adapter Config: "),
                            "Configuration does not exists for adapter: %s (%d)", "eth0", 3);
        QVERIFY(!log.isVisible());
        log.show();
        QCOMPARE(log.lbxLog->count(), 41);
        const QString newest =
            QStringLiteral("Read Adapter Config: Configuration does not exists for adapter: eth0 (3)");
        QCOMPARE(log.Lines().last(), newest);
        QCOMPARE(log.SelectedLine(), newest);
        // The list is scrolled as far as it goes towards the newest line, which is in view.
        QVERIFY(log.lbxLog->viewport()->rect().contains(log.lbxLog->visualItemRect(log.lbxLog->item(40))));
        QVERIFY(log.lbxLog->indexAt(QPoint(2, 2)).row() > 0);
        QVERIFY(log.actTextBox->isEnabled());
        QVERIFY(log.actCopy->isEnabled());
        QCOMPARE(log.windowTitle(), QStringLiteral("Client log"));
    }

    void copyAndTextWindow()
    {
        TZEMDebugLogForm log;
        QStringList opened;
        log.showText = [&opened](const QString &text) { opened << text; };
        log.ClientLog(QStringLiteral("Get adapters list: "),
                      QStringLiteral("action=get&data_name=interface_adapters"));
        log.actCopy->trigger();
        QCOMPARE(QApplication::clipboard()->text(),
                 QStringLiteral("Get adapters list: action=get&data_name=interface_adapters"));
        log.actTextBox->trigger();
        emit log.lbxLog->itemDoubleClicked(log.lbxLog->item(0));
        QCOMPARE(opened.size(), 2);
        // A line of megabytes shows its first 1,000 characters and a mark; the log keeps it whole.
        const QString huge(3000000, u'm');
        log.ClientLog(QStringLiteral("Get adapters list: error message: "), huge);
        QCOMPARE(log.lbxLog->item(1)->text(), QStringLiteral("Get adapters list: error message: ")
                                                  + huge.left(1000 - 34)
                                                  + QStringLiteral(" [... 2999034 more characters cut]"));
        QCOMPARE(log.Lines().last(), QStringLiteral("Get adapters list: error message: ") + huge);
        log.actTextBox->trigger();
        QCOMPARE(opened.last(), log.Lines().last());
        log.lbxLog->setCurrentRow(0);
        // Nothing selected: both commands are off and do nothing.
        log.lbxLog->clearSelection();
        QVERIFY(!log.actCopy->isEnabled());
        QVERIFY(!log.actTextBox->isEnabled());
        log.actTextBox->trigger();
        QCOMPARE(opened.size(), 3);
        QCOMPARE(log.pmLog->defaultAction(), log.actTextBox);
        QVERIFY(log.actTextBox->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Return)));
        QVERIFY(log.actTextBox->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Enter)));
        QCOMPARE(log.actCopy->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
        QCOMPARE(log.actTextBox->text(), QStringLiteral("Show text window"));
        QCOMPARE(log.actTextBox->toolTip(), QStringLiteral("Show selected line in text window"));
        QCOMPARE(log.actCopy->text(), QStringLiteral("&Copy"));
        QCOMPARE(log.actCopy->toolTip(), QStringLiteral("Copy selected line to clipboard"));
    }

    void firstShowPlacesBelowTheAnchor()
    {
        QWidget anchor;
        anchor.setGeometry(100, 80, 600, 300);
        anchor.show();
        TZEMDebugLogForm log(&anchor);
        QVERIFY(log.FirstShow());
        log.show();
        QVERIFY(!log.FirstShow());
        const QRect frame = anchor.frameGeometry();
        QCOMPARE(log.frameGeometry().left(), frame.left());
        QCOMPARE(log.frameGeometry().top(), frame.top() + frame.height());
        QCOMPARE(log.frameGeometry().width(), frame.width());
        // Moved by the user, hidden and shown again: stays where it was put.
        log.move(10, 20);
        const QPoint moved = log.pos();
        log.hide();
        log.show();
        QCOMPARE(log.pos(), moved);

        // An anchor low on its screen: the log goes as low as it can, wholly on the screen.
        QWidget low;
        const QRect screen = low.screen()->availableGeometry();
        low.setGeometry(screen.left() + 50, screen.bottom() - 150, 400, 100);
        low.show();
        TZEMDebugLogForm lowLog(&low);
        lowLog.show();
        QVERIFY2(screen.contains(lowLog.frameGeometry()), "the log window is off the screen");
        QCOMPARE(lowLog.frameGeometry().bottom(), screen.bottom());
    }

    void firstPlaceKeepsTheLogOnTheAnchorsScreen_data()
    {
        QTest::addColumn<QRect>("anchor");
        QTest::addColumn<QRect>("available");
        QTest::addColumn<QRect>("place");
        const QRect second(1280, 0, 1024, 768); // a screen right of a 1280-pixel one
        QTest::newRow("room below") << QRect(1300, 100, 600, 300) << second << QRect(1300, 400, 600, 112);
        QTest::newRow("at the bottom") << QRect(1300, 600, 600, 168) << second << QRect(1300, 656, 600, 112);
        QTest::newRow("past the right edge")
            << QRect(1900, 100, 600, 300) << second << QRect(1704, 400, 600, 112);
        QTest::newRow("wider than the screen")
            << QRect(1200, 0, 1200, 300) << second << QRect(1280, 300, 1024, 112);
        QTest::newRow("no screen known") << QRect(10, 20, 300, 40) << QRect() << QRect(10, 60, 300, 112);
    }

    void firstPlaceKeepsTheLogOnTheAnchorsScreen()
    {
        QFETCH(QRect, anchor);
        QFETCH(QRect, available);
        QFETCH(QRect, place);
        QCOMPARE(TZEMDebugLogForm::FirstPlace(anchor, 112, available), place);
    }

    void memoShowsTextAndEscapeCloses()
    {
        TZEMMemo memo;
        QCOMPARE(memo.windowTitle(), QStringLiteral("Text"));
        QCOMPARE(memo.size(), QSize(620, 356));
        memo.SetText(QStringLiteral("first\nsecond"));
        QCOMPARE(memo.mText->document()->blockCount(), 2);
        QVERIFY(memo.mText->isReadOnly());
        QTimer::singleShot(0, &memo, [&memo] { QTest::keyClick(memo.mText, Qt::Key_Escape); });
        QCOMPARE(memo.exec(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TestDebugLogForm)
#include "tst_debuglogform.moc"
