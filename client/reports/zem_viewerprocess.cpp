#include "zem_viewerprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QTimer>

ZEMViewerProcess::ZEMViewerProcess(const QString &program, QObject *parent) : QObject(parent)
{
    process_.setProgram(program);
    // The engine's own messages go where the client's go.
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(&process_, &QProcess::readyReadStandardOutput, this, &ZEMViewerProcess::Read);
    connect(&process_, &QProcess::finished, this, &ZEMViewerProcess::Finished);
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart && !ending_) {
            ending_ = true;
            emit Failed(tr("The report viewer %1 cannot be started: %2")
                            .arg(QDir::toNativeSeparators(process_.program()), process_.errorString()));
            emit Ended();
            deleteLater();
        }
    });
}

ZEMViewerProcess::~ZEMViewerProcess()
{
    if (process_.state() == QProcess::NotRunning)
        return;
    disconnect(&process_, nullptr, this, nullptr);
    process_.closeWriteChannel();
    if (!process_.waitForFinished(3000)) {
        process_.kill();
        process_.waitForFinished(1000);
    }
}

QString ZEMViewerProcess::DefaultProgram()
{
    const QString fromEnvironment = qEnvironmentVariable("TALLYVIEW_VIEWER");
    if (!fromEnvironment.isEmpty())
        return fromEnvironment;
    return ProgramIn(QCoreApplication::applicationDirPath());
}

QString ZEMViewerProcess::ProgramIn(const QString &programDir)
{
    const QString beside = QDir(programDir).filePath(QStringLiteral("tallyview-viewer"));
    const QString installed = QDir(programDir).filePath(QStringLiteral("../lib/tallyway/tallyview-viewer"));
    if (!QFileInfo(beside).isExecutable() && QFileInfo(installed).isExecutable())
        return QDir::cleanPath(installed);
    return beside;
}

void ZEMViewerProcess::Start()
{
    if (process_.state() == QProcess::NotRunning && !ending_)
        process_.start(QIODevice::ReadWrite);
}

void ZEMViewerProcess::Send(const QJsonObject &command)
{
    if (!ending_)
        process_.write(ZEMViewerEncode(command));
}

void ZEMViewerProcess::End()
{
    if (ending_)
        return;
    ending_ = true;
    if (process_.state() == QProcess::NotRunning) {
        emit Ended();
        deleteLater();
        return;
    }
    process_.closeWriteChannel();
    QTimer::singleShot(5000, this, [this] {
        if (process_.state() != QProcess::NotRunning)
            process_.kill();
    });
}

void ZEMViewerProcess::Read()
{
    if (!reader_.Append(process_.readAllStandardOutput())) {
        const QString why = tr("The report viewer said something unreadable (%1).").arg(reader_.Error());
        disconnect(&process_, &QProcess::readyReadStandardOutput, this, &ZEMViewerProcess::Read);
        End();
        emit Failed(why);
        return;
    }
    while (std::optional<QJsonObject> event = reader_.Next())
        emit Event(*event);
}

void ZEMViewerProcess::Finished(int exitCode, QProcess::ExitStatus status)
{
    if (!ending_) {
        emit Failed(status == QProcess::CrashExit
                        ? tr("The report viewer ended unexpectedly.")
                        : tr("The report viewer ended unexpectedly (exit code %1).").arg(exitCode));
    }
    ending_ = true;
    emit Ended();
    deleteLater();
}
