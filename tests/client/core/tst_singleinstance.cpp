// One running client per user and settings folder: the first claims, a later one asks it to show its
// window, a different folder runs apart, and the lock of a client that is gone is taken over.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <thread>

#include "zem_singleinstance.h"
#include "zem_testhelpers.h"

namespace {

TEST(SingleInstance, SecondStartAsksTheFirstToShowItsWindow)
{
    EnsureCoreApplication();
    QTemporaryDir folder;
    ZEMSingleInstance first(folder.path());
    ASSERT_TRUE(first.Claim());
    int shown = 0;
    QObject::connect(&first, &ZEMSingleInstance::ShowRequested, [&] { ++shown; });

    ZEMSingleInstance second(folder.path());
    EXPECT_FALSE(second.Claim());
    // The asking side blocks; the running side answers from its event loop.
    std::atomic<int> asked{-1};
    std::thread asker([&] { asked = second.AskRunningToShow(5000) ? 1 : 0; });
    const bool answered = WaitUntil([&] { return asked != -1; }, 6000);
    asker.join();
    ASSERT_TRUE(answered);
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(shown, 1);

    // Another settings folder is another client.
    QTemporaryDir other;
    ZEMSingleInstance apart(other.path());
    EXPECT_TRUE(apart.Claim());
    EXPECT_NE(apart.ServerName(), first.ServerName());
}

TEST(SingleInstance, NobodyAnsweringIsReportedAndAFreedLockIsTaken)
{
    EnsureCoreApplication();
    QTemporaryDir folder;
    {
        ZEMSingleInstance gone(folder.path());
        ASSERT_TRUE(gone.Claim());
    }
    ZEMSingleInstance next(folder.path());
    EXPECT_FALSE(next.AskRunningToShow(300));
    EXPECT_TRUE(next.Claim());
}

} // namespace
