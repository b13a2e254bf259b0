// The adapter configuration dialog offscreen, driven through its controls.

#include "zem_adaptconfigdlg.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QTabWidget>
#include <QTest>

#include "monitor_testapp.h"
#include "zem_adapterconfig.h"
#include "zem_testhelpers.h"
#include "zem_treenode.h"

#include <gtest/gtest.h>

namespace {

const double kToday = 38063; // 17 March 2004

class AdaptConfigDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        record = ZEMTreeNode::NewAdapter(QStringLiteral("lan"), QStringLiteral("Server LAN"),
                                         QStringLiteral("\\Device\\NPF_{1}"), true);
        record.billPeriods = ZEMBillPeriods(true, kToday);
    }
    // A dialog shown (not modally) on the record; `listen` is the Listen box's preset.
    void Open(bool listen = false)
    {
        dialog = std::make_unique<TZEMAdaptConfigDlg>(
            record, [this] { return firstStart; }, [this](const QString &topic) { topics << topic; },
            [this](ZEMBillPeriods &periods, const QString &label, bool &modified) {
                ++editorRuns;
                editorLabel = label;
                if (!editorAnswer)
                    return false;
                periods.push_back(ZEMBillPeriod(kToday + 40, kToday + 70, 1000));
                modified = editorModifies;
                return true;
            });
        dialog->Fill(listen);
        dialog->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
    }
    void Click(QWidget *widget) { QTest::mouseClick(widget, Qt::LeftButton); }

    ZEMTreeNode record;
    std::unique_ptr<TZEMAdaptConfigDlg> dialog;
    bool firstStart = false;
    bool editorAnswer = true;
    bool editorModifies = true;
    int editorRuns = 0;
    QString editorLabel;
    QStringList topics;
};

TEST_F(AdaptConfigDlgTest, FormShowsTheRecord)
{
    record.promiscuousMode = 1;
    Open(true);
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Interface Adapter Configuration"));
    EXPECT_EQ(dialog->size(), QSize(400, 394));
    EXPECT_EQ(dialog->minimumSize(), dialog->size()); // a fixed size: the user cannot resize it
    EXPECT_EQ(dialog->maximumSize(), dialog->size());
    EXPECT_EQ(dialog->pcSettings->count(), 1);
    EXPECT_EQ(dialog->pcSettings->tabText(0), QStringLiteral("Settings"));
    EXPECT_EQ(dialog->pAdapterAlias->text(), QStringLiteral("lan"));
    EXPECT_EQ(dialog->pAdapterName->text(), QStringLiteral("Server LAN"));
    EXPECT_EQ(dialog->pPhysicalName->text(), QStringLiteral("\\Device\\NPF_{1}"));
    EXPECT_TRUE(dialog->cbListen->isChecked());
    EXPECT_TRUE(dialog->cbListen->font().bold());
    EXPECT_TRUE(dialog->bBillPeriods->font().bold());
    EXPECT_TRUE(dialog->chbPromis->isChecked());
    EXPECT_FALSE(dialog->chbBroadcast->isChecked());
    EXPECT_TRUE(dialog->bOK->isDefault());
    EXPECT_EQ(dialog->chbLAL->accessibleName(), QStringLiteral("Exclude traffic between local addresses"));
    EXPECT_TRUE(dialog->windowFlags() & Qt::WindowContextHelpButtonHint);
    // Tab order.
    QList<QWidget *> order{dialog->cbListen,     dialog->bBillPeriods, dialog->chbLAL, dialog->chbPromis,
                           dialog->chbBroadcast, dialog->bOK,          dialog->bCancel};
    QList<QWidget *> chain{dialog->cbListen};
    for (QWidget *w = dialog->cbListen->nextInFocusChain(); w != dialog->cbListen; w = w->nextInFocusChain())
        if ((w->focusPolicy() & Qt::TabFocus) && w->isVisibleTo(dialog.get()) && chain.size() < order.size())
            chain << w;
    EXPECT_EQ(chain, order);
    // One mnemonic per control, so Alt with a letter presses its control instead of only focusing one
    // of two ("Broadcast mode" and "Edit bill periods..." both took B).
    QStringList keys;
    for (QAbstractButton *button : dialog->findChildren<QAbstractButton *>()) {
        const qsizetype amp = button->text().indexOf(QLatin1Char('&'));
        if (amp >= 0)
            keys << button->text().mid(amp + 1, 1).toLower();
    }
    keys.sort();
    EXPECT_EQ(keys.size(), QSet<QString>(keys.begin(), keys.end()).size())
        << keys.join(QLatin1Char(',')).toStdString();
    EXPECT_TRUE(topics.isEmpty()); // no first start: no Assistant
}

TEST_F(AdaptConfigDlgTest, AnyFilterTicksTheExclusionAndOkReplacesIt)
{
    record.filter = QStringLiteral("tcp port 80");
    record.directionSource = QStringLiteral("whatever");
    Open();
    EXPECT_TRUE(dialog->chbLAL->isChecked());
    Click(dialog->bOK);
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(record.filter, QString::fromLatin1(kLocalTrafficFilter));
    EXPECT_EQ(record.directionSource, QString::fromLatin1(kLocalAddressPatterns));
}

TEST_F(AdaptConfigDlgTest, OkUncheckedClearsTheFilterAndCancelKeepsIt)
{
    record.filter = QStringLiteral("tcp port 80");
    Open();
    // The box toggled by its key, then Escape: nothing written.
    QTest::keyClick(dialog->chbLAL, Qt::Key_Space);
    EXPECT_FALSE(dialog->chbLAL->isChecked());
    QTest::keyClick(dialog.get(), Qt::Key_Escape);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(record.filter, QStringLiteral("tcp port 80"));

    record.filter.clear();
    Open();
    EXPECT_FALSE(dialog->chbLAL->isChecked());
    Click(dialog->bOK);
    EXPECT_TRUE(record.filter.isEmpty());
    EXPECT_EQ(record.directionSource, QStringLiteral("Mycomputer"));
}

TEST_F(AdaptConfigDlgTest, FirstStartProposesListenAndTurnsTheAssistantPages)
{
    firstStart = true;
    Open(false);
    EXPECT_TRUE(dialog->cbListen->isChecked());
    EXPECT_EQ(topics, QStringList{QString::fromLatin1(kTopicInsideAdapterConfig)});

    // The editor cancelled: back to the same page, nothing changed.
    editorAnswer = false;
    Click(dialog->bBillPeriods);
    EXPECT_EQ(editorRuns, 1);
    EXPECT_EQ(editorLabel, QStringLiteral("lan"));
    EXPECT_EQ(record.billPeriods.size(), 1u);
    EXPECT_FALSE(dialog->BillPeriodsChanged());
    EXPECT_EQ(topics.last(), QString::fromLatin1(kTopicInsideAdapterConfig));

    editorAnswer = true;
    Click(dialog->bBillPeriods);
    EXPECT_EQ(record.billPeriods.size(), 2u);
    EXPECT_TRUE(dialog->BillPeriodsChanged());
    EXPECT_EQ(topics.last(), QString::fromLatin1(kTopicSaveAdapterConfig));

    // A later OK of the editor without changes does not take the flag back.
    editorModifies = false;
    Click(dialog->bBillPeriods);
    EXPECT_TRUE(dialog->BillPeriodsChanged());
}

TEST_F(AdaptConfigDlgTest, CancelAfterTheEditorKeepsThePeriods)
{
    Open();
    Click(dialog->bBillPeriods);
    Click(dialog->bCancel);
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_EQ(record.billPeriods.size(), 2u);
    EXPECT_TRUE(record.filter.isEmpty());
    EXPECT_TRUE(record.directionSource.isEmpty()); // the close check did not run
}

TEST_F(AdaptConfigDlgTest, AssistantCommandsThreeAndFive)
{
    firstStart = true;
    Open();
    dialog->HandleTrainingCard(4, 1); // others do nothing
    EXPECT_EQ(editorRuns, 0);
    EXPECT_TRUE(dialog->isVisible());
    dialog->HandleTrainingCard(3, 1);
    EXPECT_EQ(editorRuns, 1);
    EXPECT_TRUE(dialog->BillPeriodsChanged());
    dialog->HandleTrainingCard(5, 1);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(record.directionSource, QStringLiteral("Mycomputer")); // as OK does
}

TEST_F(AdaptConfigDlgTest, CommandsWhileTheEditorIsOpenAreDropped)
{
    Open();
    int nested = 0;
    dialog = std::make_unique<TZEMAdaptConfigDlg>(
        record, [] { return false; }, nullptr,
        [&](ZEMBillPeriods &, const QString &, bool &) {
            // The help page sends its commands while the editor is up.
            dialog->HandleTrainingCard(3, 1);
            dialog->HandleTrainingCard(5, 1);
            ++nested;
            return false;
        });
    dialog->Fill(false);
    dialog->show();
    Click(dialog->bBillPeriods);
    EXPECT_EQ(nested, 1);
    EXPECT_TRUE(dialog->isVisible());
}

} // namespace
