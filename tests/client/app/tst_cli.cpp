// The tallyview program's command line: --version, --help, and --settings-dir with a start that
// leaves the user's settings alone.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "tally_version.h"

namespace {
struct Run {
    int exitCode = -1;
    QString out;
};

Run Tallyview(const QStringList &arguments, int timeoutMs = 30000)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
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
        const Run run = Tallyview({QStringLiteral("--help")});
        QCOMPARE(run.exitCode, 0);
        QVERIFY(run.out.contains(QStringLiteral("--settings-dir <DIR>")));
        QVERIFY(run.out.contains(QStringLiteral("--version")));
        QVERIFY(!run.out.contains(QStringLiteral("--screenshot")));
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
