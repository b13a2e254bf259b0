#pragma once
// A QApplication for GoogleTest programs whose fixtures hold widgets or timers: it must exist before
// the first fixture is made, so it is created by a global test environment.

#include <QApplication>

#include <gtest/gtest.h>

class MonitorAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "tallyview-test";
        static char *argv[] = {name, nullptr};
        if (QCoreApplication::instance() == nullptr)
            new QApplication(argc, argv);
    }
};

inline ::testing::Environment *const monitorAppEnvironment =
    ::testing::AddGlobalTestEnvironment(new MonitorAppEnvironment);
