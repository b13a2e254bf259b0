// The don't-show-me box, the options dialog with its close check, the About box and the message-box
// prompt.

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSvgRenderer>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include "zem_aboutdlg.h"
#include "zem_artwork.h"
#include "zem_dontshowme.h"
#include "zem_msgboxprompt.h"
#include "zem_optionsdlg.h"
#include "zem_spinedit.h"
#include "zem_testhelpers.h"
#include "zmm_utils.h"

namespace {
// Runs `action` on the modal window that opens next.
void OnNextModal(std::function<void(QWidget *)> action)
{
    QTimer::singleShot(0, [action] {
        QWidget *modal = QApplication::activeModalWidget();
        if (modal)
            action(modal);
    });
}

void SetFieldText(ZEMSpinEdit *field, const QString &text) { field->findChild<QLineEdit *>()->setText(text); }

QStringList Captions(const TZEMDontShowMe &box)
{
    QStringList captions;
    for (QPushButton *button : box.Buttons())
        captions << button->text();
    return captions;
}
} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void dontShowMeButtonSets_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QStringList>("captions");
        QTest::addColumn<int>("escapeCode");
        QTest::newRow("ok") << 0x00 << QStringList{"OK"} << 0;
        QTest::newRow("ok cancel") << 0x01 << QStringList{"OK", "Cancel"} << 2;
        QTest::newRow("abort retry ignore") << 0x02 << QStringList{"Abort", "Retry", "Ignore"} << 5;
        QTest::newRow("yes no cancel") << 0x03 << QStringList{"Yes", "No", "Cancel"} << 2;
        QTest::newRow("yes no, question") << 0x24 << QStringList{"Yes", "No"} << 0;
        QTest::newRow("retry cancel") << 0x05 << QStringList{"Retry", "Cancel"} << 2;
        QTest::newRow("unknown set") << 0x07 << QStringList{} << 0;
    }
    void dontShowMeButtonSets()
    {
        QFETCH(int, style);
        QFETCH(QStringList, captions);
        QFETCH(int, escapeCode);
        TZEMDontShowMe box;
        box.Build(QStringLiteral("Question?"), style);
        QCOMPARE(box.windowTitle(), QStringLiteral("Tallyway GUI"));
        QCOMPARE(box.size(), QSize(361, 130));
        QCOMPARE(box.lMsg->text(), QStringLiteral("Question?"));
        QCOMPARE(Captions(box), captions);
        QVERIFY(!box.chbDont->isChecked());
        QCOMPARE(box.chbDont->text(), QStringLiteral("&Don't show me this message again"));
        if (captions.isEmpty())
            return;
        // Row centred, 75 x 25 buttons 25 apart at 95 from the top; the first is the default.
        const int rowWidth = int(captions.size()) * 75 + (int(captions.size()) - 1) * 25;
        QCOMPARE(box.Buttons().first()->geometry(), QRect((361 - rowWidth) / 2, 95, 75, 25));
        QCOMPARE(box.Buttons().last()->geometry().right() + 1, (361 - rowWidth) / 2 + rowWidth);
        QVERIFY(box.Buttons().first()->isDefault());
        QCOMPARE(box.EscapeButton() ? box.EscapeButton()->property("resultCode").toInt() : 0, escapeCode);
    }

    void dontShowMeIcons()
    {
        for (int icon : {0x10, 0x20, 0x30, 0x40}) {
            TZEMDontShowMe box;
            box.Build(QStringLiteral("x"), icon);
            QVERIFY2(!box.img->pixmap().isNull(), qPrintable(QString::number(icon)));
        }
        TZEMDontShowMe plain;
        plain.Build(QStringLiteral("x"), 0x50);
        QVERIFY(plain.img->pixmap().isNull());
    }

    void dontShowMeResults()
    {
        // Ticked and answered No: both are reported.
        bool dont = false;
        OnNextModal([](QWidget *w) {
            auto *box = qobject_cast<TZEMDontShowMe *>(w);
            box->chbDont->setChecked(true);
            box->Buttons().at(1)->click();
        });
        QCOMPARE(ShowDontShowMe(QStringLiteral("Close?"), 0x24, dont), 7);
        QVERIFY(dont);

        // Escape does nothing in the Yes/No set; the close box then gives 2.
        OnNextModal([](QWidget *w) {
            QTest::keyClick(w, Qt::Key_Escape);
            QVERIFY(w->isVisible());
            w->close();
        });
        QCOMPARE(ShowDontShowMe(QStringLiteral("Close?"), 0x24, dont), 2);
        QVERIFY(!dont);

        // Escape presses Ignore in Abort/Retry/Ignore.
        OnNextModal([](QWidget *w) { QTest::keyClick(w, Qt::Key_Escape); });
        QCOMPARE(ShowDontShowMe(QStringLiteral("Failed"), 0x02, dont), 5);

        // Centred on the screen even when a window off to one side asks.
        QWidget asker;
        asker.setGeometry(0, 0, 200, 150);
        asker.show();
        QPoint centre;
        OnNextModal([&centre](QWidget *w) {
            centre = w->frameGeometry().center();
            w->close();
        });
        ShowDontShowMe(QStringLiteral("Close?"), 0x24, dont, &asker);
        QVERIFY((centre - asker.screen()->availableGeometry().center()).manhattanLength() <= 2);
    }

    void optionsLoadAndSaveRoundTrip()
    {
        ZEMTestModule test;
        TDMMain &dm = test.Module();
        dm.ServerHost = QStringLiteral("server.lan");
        dm.ServerPort = 8080;
        dm.FirstDOW = 0;
        dm.ReqInterval = 0;
        dm.HideOnStart = false;
        ZEMScriptedPrompt prompt;
        TZEMOptionsDlg dialog(prompt);
        dialog.LoadFrom(dm);
        QCOMPARE(dialog.edHost->text(), QStringLiteral("server.lan"));
        QCOMPARE(dialog.cbxFirstDay->currentText(), QStringLiteral("Sunday"));
        QCOMPARE(dialog.cbxFirstDay->count(), 7);
        QVERIFY(!dialog.cbHideOnRun->isChecked());
        dialog.edPort->setValue(9000);
        dialog.edLogLines->setValue(50);
        dialog.cbxFirstDay->setCurrentIndex(6);
        dialog.edHost->clear(); // an empty host is accepted
        QVERIFY(dialog.CloseQuery());
        dialog.SaveTo(dm);
        QCOMPARE(dm.ServerPort, 9000);
        QCOMPARE(dm.LogReqLines, 50);
        QCOMPARE(dm.FirstDOW, 6);
        QCOMPARE(dm.ReqInterval, 0);
        QCOMPARE(dm.ServerHost, QString());
        QCOMPARE(prompt.Count(), 0);
    }

    void optionsRanges()
    {
        ZEMScriptedPrompt prompt;
        TZEMOptionsDlg dialog(prompt);
        QCOMPARE(dialog.edPort->minimum(), 1);
        QCOMPARE(dialog.edPort->maximum(), 65535);
        dialog.edPort->setValue(70000); // cannot go past the range
        QCOMPARE(dialog.edPort->value(), 65535);
        QCOMPARE(dialog.edLogLines->minimum(), 1);
        QCOMPARE(dialog.edReqInterval->minimum(), 0);
        QCOMPARE(dialog.edLogReqInt->minimum(), 0);
        QVERIFY(!dialog.edPort->isGroupSeparatorShown());
        QVERIFY(!dialog.edPort->wrapping());
        // The labels read as the user sees them, the wrapped one included.
        auto labelOf = [](QWidget *field) {
            auto *form = qobject_cast<QFormLayout *>(field->parentWidget()->layout());
            auto *label = form ? qobject_cast<QLabel *>(form->labelForField(field)) : nullptr;
            return label ? label->text() : QString();
        };
        QCOMPARE(labelOf(dialog.edReqInterval), QStringLiteral("&Interval of automatic requests (sec):"));
        QCOMPARE(labelOf(dialog.edLogReqInt), QStringLiteral("&Interval of automatic requests (sec):"));
        QCOMPARE(labelOf(dialog.edLogLines), QStringLiteral("&Lines to read:"));
        QCOMPARE(labelOf(dialog.edPort), QStringLiteral("&Port:"));
    }

    // What the user types stays as typed until OK checks it: nothing is clipped or brought back.
    void optionsTypedTextIsCheckedOnOk()
    {
        ZEMTestModule test;
        TDMMain &dm = test.Module();
        dm.LogReqLines = 20;
        ZEMScriptedPrompt prompt;
        TZEMOptionsDlg dialog(prompt);
        dialog.LoadFrom(dm);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        auto *ok = dialog.findChild<QPushButton *>(QStringLiteral("bOK"));

        dialog.edPort->setFocus();
        dialog.edPort->selectAll();
        QTest::keyClicks(dialog.edPort, QStringLiteral("70000"));
        QTest::keyClick(dialog.edPort, Qt::Key_Tab);
        QCOMPARE(dialog.edPort->text(), QStringLiteral("70000"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QVERIFY(dialog.isVisible());
        QCOMPARE(prompt.Texts(), QStringList{dialog.edPort->RangeMessage(QStringLiteral("Server port"))});
        QCOMPARE(QApplication::focusWidget(), dialog.edPort);
        QCOMPARE(dialog.edPort->text(), QStringLiteral("70000"));

        dialog.edPort->selectAll();
        QTest::keyClicks(dialog.edPort, QStringLiteral("40000"));
        dialog.pcOptions->setCurrentWidget(dialog.tsLog);
        dialog.edLogLines->setFocus();
        dialog.edLogLines->selectAll();
        QTest::keyClick(dialog.edLogLines, Qt::Key_Backspace);
        dialog.pcOptions->setCurrentWidget(dialog.tsCommon);
        QCOMPARE(dialog.edLogLines->text(), QString());
        prompt.Clear();
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(
            prompt.Texts(),
            QStringList{"Invalid value in the field \"Lines to read\"! Please enter a number in range [1, "
                        "32767]."});
        QCOMPARE(dialog.pcOptions->currentWidget(), dialog.tsLog);
        QCOMPARE(dialog.edLogLines->text(), QString());
        QVERIFY(dialog.isVisible());
    }

    void optionsCheckOrder()
    {
        ZEMScriptedPrompt prompt;
        TZEMOptionsDlg dialog(prompt);
        dialog.show();
        SetFieldText(dialog.edPort, QStringLiteral("abc"));
        SetFieldText(dialog.edLogLines, QStringLiteral("0"));
        SetFieldText(dialog.edReqInterval, QString());
        // Only the first failure is reported; its page is shown.
        dialog.accept();
        QVERIFY(dialog.isVisible());
        QCOMPARE(
            prompt.Texts(),
            QStringList{
                "Invalid value in the field \"Server port\"! Please enter a number in range [1, 65535]."});
        QCOMPARE(prompt.Boxes().first().style, ZEMPromptStyle::IconExclamation);
        QCOMPARE(dialog.pcOptions->currentWidget(), dialog.tsCommon);

        SetFieldText(dialog.edPort, QStringLiteral("7777"));
        prompt.Clear();
        dialog.accept();
        QCOMPARE(
            prompt.Texts(),
            QStringList{
                "Invalid value in the field \"Lines to read\"! Please enter a number in range [1, 32767]."});
        QCOMPARE(dialog.pcOptions->currentWidget(), dialog.tsLog);

        SetFieldText(dialog.edLogLines, QStringLiteral("20"));
        SetFieldText(dialog.edLogReqInt, QStringLiteral("x"));
        prompt.Clear();
        dialog.accept();
        QCOMPARE(prompt.Texts(),
                 QStringList{"Invalid value in the field \"Log Request Interval\"! Please enter a number "
                             "in range [0, 32767]."});

        SetFieldText(dialog.edLogReqInt, QStringLiteral("0"));
        prompt.Clear();
        dialog.accept();
        QCOMPARE(prompt.Texts(),
                 QStringList{"Invalid value in the field \"Current Statistics Request Interval\"! Please "
                             "enter a number in range [0, 32767]."});
        QCOMPARE(dialog.pcOptions->currentWidget(), dialog.tsCurrStat);

        SetFieldText(dialog.edReqInterval, QStringLiteral("0"));
        prompt.Clear();
        dialog.accept();
        QCOMPARE(prompt.Count(), 0);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
    }

    void optionsMarkedField()
    {
        ZEMScriptedPrompt prompt;
        TZEMOptionsDlg dialog(prompt);
        dialog.SelectPage(TZEMOptionsDlg::PageCurrentStatistics, true);
        QCOMPARE(dialog.MarkedField(), dialog.edReqInterval);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowActive(&dialog));
        QTRY_VERIFY(dialog.edReqInterval->hasFocus());
        // Unmarked pages leave the focus alone; coming back to the marked page focuses again.
        dialog.pcOptions->setCurrentWidget(dialog.tsLog);
        QVERIFY(!dialog.edLogReqInt->hasFocus());
        dialog.pcOptions->setCurrentWidget(dialog.tsCurrStat);
        QVERIFY(dialog.edReqInterval->hasFocus());

        TZEMOptionsDlg logDialog(prompt);
        logDialog.SelectPage(TZEMOptionsDlg::PageLog, true);
        QCOMPARE(logDialog.MarkedField(), logDialog.edLogReqInt);
        QCOMPARE(logDialog.pcOptions->currentWidget(), logDialog.tsLog);
    }

    void editOptionsSavesOnlyOnOk()
    {
        ZEMTestModule test;
        TDMMain &dm = test.Module();
        ZEMScriptedPrompt prompt;
        dm.SetPrompt(&prompt);
        InstallEditOptions(dm, nullptr);

        OnNextModal([](QWidget *w) {
            auto *dialog = qobject_cast<TZEMOptionsDlg *>(w);
            QCOMPARE(dialog->pcOptions->currentIndex(), 2);
            dialog->edLogLines->setValue(77);
            dialog->reject();
        });
        QVERIFY(!dm.EditOptions(2, false));
        QCOMPARE(dm.LogReqLines, 20);

        OnNextModal([](QWidget *w) {
            auto *dialog = qobject_cast<TZEMOptionsDlg *>(w);
            dialog->edLogLines->setValue(77);
            dialog->cbConfirmExit->setChecked(false);
            dialog->accept();
        });
        QVERIFY(dm.EditOptions(0, false));
        QCOMPARE(dm.LogReqLines, 77);
        ZEMSettingsStore &store = test.Settings().Store();
        QCOMPARE(store.ReadInteger(ZEMSettingsRoot::CurrentUser, kClientKeyCurrentUser, "LogReqLines"), 77);
        QCOMPARE(store.ReadInteger(ZEMSettingsRoot::CurrentUser, kClientKeyCurrentUser, "ConfirmExit"), 0);

        // "Start when I log in" shows and changes the session's autostart entry (in a scratch folder).
        QTemporaryDir config;
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        const QString entry = config.filePath(QStringLiteral("autostart/tallyview.desktop"));
        for (const bool start : {true, false}) {
            OnNextModal([start](QWidget *w) {
                auto *dialog = qobject_cast<TZEMOptionsDlg *>(w);
                if (dialog->cbAutostart->isChecked() == start)
                    return dialog->reject(); // the box did not show the entry's state: fails below
                dialog->cbAutostart->setChecked(start);
                dialog->accept();
            });
            QVERIFY(dm.EditOptions(0, false));
            QCOMPARE(QFile::exists(entry), start);
        }
        qunsetenv("XDG_CONFIG_HOME");
        dm.SetPrompt(nullptr);
    }

    void aboutShowsVersion()
    {
        TZEMAboutDlg about;
        QCOMPARE(about.windowTitle(), QStringLiteral("About"));
        QCOMPARE(about.size(), QSize(353, 343));
        QCOMPARE(about.lVer->text(), QStringLiteral("Version: ") + FormatVersion());
        QCOMPARE(about.lTitle->text(), QStringLiteral("Brackwater Tallyway"));
        QVERIFY(!about.imgSplash->pixmap().isNull());
    }

    void artworkDrawsAndHasDisabledVariants()
    {
        ZEMInitArtwork();
        const QStringList names = QDir(QStringLiteral(":/icons")).entryList({QStringLiteral("*.svg")});
        QVERIFY(names.size() >= 20);
        for (const QString &file : names) {
            QSvgRenderer renderer(QStringLiteral(":/icons/") + file);
            QVERIFY2(renderer.isValid(), qPrintable(file));
            const QIcon icon = ZEMArtIcon(QFileInfo(file).completeBaseName());
            const QImage normal = icon.pixmap(30, 30).toImage();
            const QImage disabled = icon.pixmap(QSize(30, 30), QIcon::Disabled).toImage();
            QVERIFY2(!normal.isNull() && !disabled.isNull() && normal != disabled, qPrintable(file));
        }
    }

    void escapedErrorsAreShown()
    {
        ZEMScriptedPrompt prompt;
        QVERIFY(ZEMDeliverShowingErrors(prompt, [] { return true; }));
        QCOMPARE(prompt.Count(), 0);
        QVERIFY(!ZEMDeliverShowingErrors(prompt,
                                         []() -> bool { throw std::runtime_error("Socket error 10061"); }));
        QVERIFY(!ZEMDeliverShowingErrors(prompt, []() -> bool { throw 42; }));
        QCOMPARE(prompt.Texts(), (QStringList{"Socket error 10061", "Unknown error."}));
        QCOMPARE(prompt.Boxes().first().style, ZEMPromptStyle::IconStop);
    }

    void messageBoxPrompt()
    {
        ZEMMessageBoxPrompt prompt;
        // A question answered No; caption, icon and default button as the style says.
        OnNextModal([](QWidget *w) {
            auto *box = qobject_cast<QMessageBox *>(w);
            QCOMPARE(box->windowTitle(), QStringLiteral("Tallyway GUI"));
            QCOMPARE(box->icon(), QMessageBox::Question);
            QCOMPARE(box->defaultButton(), box->button(QMessageBox::No));
            box->button(QMessageBox::No)->click();
        });
        QCOMPARE(prompt.MessageBox(QStringLiteral("Sure?"), ZEMPromptStyle::YesNo
                                                                | ZEMPromptStyle::IconQuestion
                                                                | ZEMPromptStyle::DefaultButton2),
                 ZEMPromptResult::No);
        // An error box closed with Escape still answers OK.
        OnNextModal([](QWidget *w) {
            QCOMPARE(qobject_cast<QMessageBox *>(w)->icon(), QMessageBox::Warning);
            QTest::keyClick(w, Qt::Key_Escape);
        });
        QCOMPARE(prompt.MessageBox(QStringLiteral("Bad"), ZEMPromptStyle::IconExclamation),
                 ZEMPromptResult::Ok);
        // The don't-show-me variant.
        bool dont = false;
        OnNextModal([](QWidget *w) { qobject_cast<TZEMDontShowMe *>(w)->Buttons().first()->click(); });
        QCOMPARE(prompt.DontShowMe(QStringLiteral("Close?"), 0x24, dont), ZEMPromptResult::Yes);
        // Raised while a modal window is open, the box belongs to that window, not to the main one.
        QWidget main;
        main.show();
        ZEMMessageBoxPrompt owned(&main);
        QDialog editor(&main);
        QWidget *boxParent = nullptr;
        QTimer::singleShot(0, &editor, [&] {
            OnNextModal([&boxParent](QWidget *w) {
                boxParent = w->parentWidget();
                QTest::keyClick(w, Qt::Key_Escape);
            });
            owned.MessageBox(QStringLiteral("Range"), ZEMPromptStyle::IconExclamation);
            editor.reject();
        });
        editor.exec();
        QCOMPARE(boxParent, &editor);

        // A notice returns at once and stays open, not modal, until it is closed.
        owned.ShowNotice(QStringLiteral("Cannot read adapters list!"), ZEMPromptStyle::IconExclamation);
        QMessageBox *notice = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                notice = box;
        QVERIFY(notice);
        QCOMPARE(notice->text(), QStringLiteral("Cannot read adapters list!"));
        QVERIFY(!notice->isModal());
        QVERIFY(!QApplication::activeModalWidget());
        const QPointer<QMessageBox> watched(notice);
        owned.CloseNotice();
        QTRY_VERIFY(!watched);
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
