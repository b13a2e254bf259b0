// The free-typing number field: typed text is kept as typed, the arrows step inside the range, and the
// close check reports and focuses an invalid field.

#include <QLineEdit>
#include <QtTest>

#include "zem_scriptedprompt.h"
#include "zem_spinedit.h"

namespace {
void SetText(ZEMSpinEdit *field, const QString &text) { field->findChild<QLineEdit *>()->setText(text); }
} // namespace

class TestSpinEdit : public QObject {
    Q_OBJECT

private slots:
    void validity_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("lower bound") << "1" << true;
        QTest::newRow("upper bound") << "366" << true;
        QTest::newRow("below") << "0" << false;
        QTest::newRow("above") << "367" << false;
        QTest::newRow("blanks around") << " 12 " << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("letters") << "abc" << false;
        QTest::newRow("digits then letters") << "12a" << false;
        QTest::newRow("grouping") << "1,0" << false;
        QTest::newRow("plus sign") << "+5" << false;
        QTest::newRow("fraction") << "5.0" << false;
        QTest::newRow("beyond 64 bits") << "99999999999999999999999" << false;
    }
    void validity()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        ZEMSpinEdit field;
        field.setRange(1, 366);
        field.setValue(7);
        SetText(&field, text);
        QCOMPARE(field.IsValid(), valid);
        // The position follows valid text only.
        QCOMPARE(field.value(), valid ? text.trimmed().toInt() : 7);
    }

    void typedTextIsNeverRewritten()
    {
        ZEMSpinEdit field;
        field.setRange(0, 32767);
        field.setValue(3597);
        field.show();
        QVERIFY(QTest::qWaitForWindowExposed(&field));
        field.setFocus();
        field.selectAll();
        QTest::keyClicks(&field, QStringLiteral("35971"));
        QCOMPARE(field.text(), QStringLiteral("35971"));
        field.clearFocus(); // leaving the field keeps the text
        QCOMPARE(field.text(), QStringLiteral("35971"));
        QVERIFY(!field.IsValid());
        QCOMPARE(field.value(), 3597);
    }

    void stepping()
    {
        ZEMSpinEdit field;
        field.setRange(0, 100);
        QVERIFY(!field.isGroupSeparatorShown());
        QVERIFY(!field.wrapping());
        field.setValue(1000); // clamped
        QCOMPARE(field.text(), QStringLiteral("100"));
        QTest::keyClick(&field, Qt::Key_Up); // no wrapping at the top
        QCOMPARE(field.text(), QStringLiteral("100"));
        QTest::keyClick(&field, Qt::Key_Down);
        QCOMPARE(field.text(), QStringLiteral("99"));
        // A typed number out of range steps from the range's end; a text that is no number from the
        // position.
        SetText(&field, QStringLiteral("500"));
        QTest::keyClick(&field, Qt::Key_Down);
        QCOMPARE(field.text(), QStringLiteral("99"));
        SetText(&field, QStringLiteral("x"));
        QTest::keyClick(&field, Qt::Key_Up);
        QCOMPARE(field.text(), QStringLiteral("100"));
        field.setValue(0);
        QTest::keyClick(&field, Qt::Key_Down);
        QCOMPARE(field.text(), QStringLiteral("0"));
    }

    void closeCheck()
    {
        ZEMScriptedPrompt prompt;
        QWidget window;
        auto *other = new QLineEdit(&window);
        auto *field = new ZEMSpinEdit(&window);
        field->setRange(0, 32767);
        window.show();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        other->setFocus();
        SetText(field, QStringLiteral("12 345"));
        QVERIFY(!CheckSpinField(field, QStringLiteral("Limit"), prompt));
        QCOMPARE(prompt.Texts(), QStringList{"Invalid value in the field \"Limit\"! Please enter a number in "
                                             "range [0, 32767]."});
        QCOMPARE(prompt.Boxes().first().style, ZEMPromptStyle::IconExclamation);
        QVERIFY(field->hasFocus());
        SetText(field, QStringLiteral("12345"));
        QVERIFY(CheckSpinField(field, QStringLiteral("Limit"), prompt));
        QCOMPARE(prompt.Count(), 1);
    }
};

QTEST_MAIN(TestSpinEdit)
#include "tst_spinedit.moc"
