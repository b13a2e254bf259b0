#pragma once
// The client's end of the report viewer: starts the viewer program, sends it commands and hands out its
// events. One object is one run of the viewer; End() lets it finish and the object goes with it.

#include <QJsonObject>
#include <QObject>
#include <QProcess>
#include <QString>

#include "zem_viewerprotocol.h"

class ZEMViewerProcess : public QObject {
    Q_OBJECT

public:
    explicit ZEMViewerProcess(const QString &program, QObject *parent = nullptr);
    // Ends a viewer still running, at the latest a few seconds later.
    ~ZEMViewerProcess() override;

    // Where the viewer is: $TALLYVIEW_VIEWER, else ProgramIn(the running program's folder).
    static QString DefaultProgram();
    // The viewer beside a program in `programDir`, else in the library folder of an installed tree
    // (../lib/tallyway); the first when neither exists.
    static QString ProgramIn(const QString &programDir);

    void Start();
    void Send(const QJsonObject &command);
    // Closes the viewer's input: it ends its engine and exits; killed when it has not after 5 s. Ended()
    // follows either way, and the object deletes itself then.
    void End();
    bool IsRunning() const { return process_.state() != QProcess::NotRunning; }
    qint64 ProcessId() const { return process_.processId(); }

signals:
    void Event(const QJsonObject &event);
    // It could not start, ended while it was needed, or said something unreadable.
    void Failed(const QString &why);
    void Ended();

private:
    void Read();
    void Finished(int exitCode, QProcess::ExitStatus status);

    QProcess process_;
    ZEMViewerLineReader reader_;
    bool ending_ = false;
};
