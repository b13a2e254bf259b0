// The tallyview program's command line: --version and --help (without a display), --settings-dir with
// a start that leaves the user's settings alone, and one running client per settings folder.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "tally_version.h"
#include "zem_singleinstance.h"

namespace {
struct Run {
    int exitCode = -1;
    QString out;
};

QProcessEnvironment Offscreen()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

// No display of any kind: what a terminal without a desktop has.
QProcessEnvironment NoDisplay()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    return env;
}

Run Tallyview(const QStringList &arguments, int timeoutMs = 30000,
              const QProcessEnvironment &env = Offscreen())
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(TALLYVIEW_PATH), arguments);
    Run run;
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.exitCode = process.exitCode();
    run.out = QString::fromLocal8Bit(process.readAll());
    return run;
}
} // namespace

class TestCli : public QObject {
    Q_OBJECT

private slots:
    void version()
    {
        const Run run = Tallyview({QStringLiteral("--version")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY2(run.out.contains(QStringLiteral(TALLY_VERSION_STRING)), qPrintable(run.out));
        QVERIFY(QStringLiteral(TALLY_VERSION_STRING).count(QLatin1Char('.')) == 3);
    }

    void help()
    {
        const Run run = Tallyview({QStringLiteral("--help")}, 30000, NoDisplay());
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains(QStringLiteral("--settings-dir <DIR>")));
        QVERIFY(run.out.contains(QStringLiteral("--server-host <HOST>")));
        QVERIFY(run.out.contains(QStringLiteral("--server-port <PORT>")));
        QVERIFY(run.out.contains(QStringLiteral("--version")));
        QVERIFY(!run.out.contains(QStringLiteral("--screenshot")));
        const Run version = Tallyview({QStringLiteral("-v")}, 30000, NoDisplay());
        QCOMPARE(version.exitCode, 0);
        QVERIFY(version.out.contains(QStringLiteral(TALLY_VERSION_STRING)));
    }

    void badPortIsRefused()
    {
        QTemporaryDir settings;
        const Run run = Tallyview({QStringLiteral("--settings-dir"), settings.path(),
                                   QStringLiteral("--server-port"), QStringLiteral("70000")});
        QCOMPARE(run.exitCode, 1);
        QVERIFY2(run.out.contains(QStringLiteral("1 to 65535")), qPrintable(run.out));
    }

    // A second start with the same settings brings the running window up and ends with 0.
    void secondStartBringsTheFirstUp()
    {
        QTemporaryDir settings;
        QProcess first;
        first.setProcessEnvironment(Offscreen());
        first.setProcessChannelMode(QProcess::MergedChannels);
        // The server is a closed port: the first client runs on, showing its error box.
        first.start(QStringLiteral(TALLYVIEW_PATH),
                    {QStringLiteral("--settings-dir"), settings.path(), QStringLiteral("--server-host"),
                     QStringLiteral("127.0.0.1"), QStringLiteral("--server-port"), QStringLiteral("1")});
        QVERIFY(first.waitForStarted(10000));
        // Wait until the first answers (it is then the running client).
        QVERIFY(ZEMSingleInstance(settings.path()).AskRunningToShow(30000));
        const Run second = Tallyview({QStringLiteral("--settings-dir"), settings.path()});
        QCOMPARE(second.exitCode, 0);
        QVERIFY2(second.out.contains(QStringLiteral("its window was brought up")), qPrintable(second.out));
        QCOMPARE(first.state(), QProcess::Running);
        first.kill();
        first.waitForFinished(5000);
    }

    void unknownOptionFails()
    {
        const Run run = Tallyview({QStringLiteral("--no-such-option")});
        QVERIFY(run.exitCode != 0);
        QVERIFY(run.out.contains(QStringLiteral("no-such-option")));
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "tst_cli.moc"
