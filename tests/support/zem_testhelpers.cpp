#include "zem_testhelpers.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

void EnsureCoreApplication()
{
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "tally_test";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
}

bool WaitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() >= timeoutMs)
            return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(1);
    }
    return true;
}

void SpinEventLoop(int ms)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
}

ZEMTempSettings::ZEMTempSettings() : store_(std::make_unique<ZEMSettingsStore>(dir_.path())) {}

void ZEMTempSettings::WriteFile(ZEMSettingsRoot root, const QByteArray &content)
{
    QFile f(store_->FilePath(root));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(content);
}

QByteArray ZEMTempSettings::ReadFile(ZEMSettingsRoot root) const
{
    QFile f(store_->FilePath(root));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ZEMTestModule::ZEMTestModule(bool create) : module_(std::make_unique<TDMMain>(settings_.Store(), clock_))
{
    SetDMMain(module_.get());
    if (create)
        module_->Create();
}

ZEMTestModule::~ZEMTestModule()
{
    if (DMMainOrNull() == module_.get())
        SetDMMain(nullptr);
}
