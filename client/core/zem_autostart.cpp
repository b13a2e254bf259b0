#include "zem_autostart.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// Entries larger than this are not ours: they are read as far as this only.
constexpr qint64 kMaxEntrySize = 64 * 1024;

// An Exec argument: quoted when it holds anything but plain path characters, with the characters the
// format reserves inside quotes escaped, then every backslash doubled (the string-value escape), and
// "%" doubled (field codes).
QString ExecArgument(const QString &path)
{
    bool plain = !path.isEmpty();
    for (const QChar c : path)
        plain = plain && (c.isLetterOrNumber() || QStringLiteral("/._+-").contains(c));
    QString argument = path;
    if (!plain) {
        QString quoted;
        for (const QChar c : path) {
            if (QStringLiteral("\"`$\\").contains(c))
                quoted += QLatin1Char('\\');
            quoted += c;
        }
        argument = QLatin1Char('"') + quoted + QLatin1Char('"');
    }
    argument.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    argument.replace(QLatin1Char('%'), QStringLiteral("%%"));
    return argument;
}
} // namespace

ZEMAutostart::ZEMAutostart(QString configHome, QString program)
    : configHome_(configHome.isEmpty() ? DefaultConfigHome() : std::move(configHome)),
      program_(program.isEmpty() && QCoreApplication::instance() ? QCoreApplication::applicationFilePath()
                                                                 : std::move(program))
{
}

QString ZEMAutostart::DefaultConfigHome()
{
    const QString env = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!env.isEmpty() && QDir::isAbsolutePath(env))
        return env;
    return QDir::homePath() + QStringLiteral("/.config");
}

QString ZEMAutostart::FilePath() const
{
    return configHome_ + QStringLiteral("/autostart/tallyview.desktop");
}

bool ZEMAutostart::IsEnabled() const
{
    QFile file(FilePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.read(kMaxEntrySize));
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString trimmed = line.trimmed();
        if (trimmed.compare(QStringLiteral("Hidden=true"), Qt::CaseInsensitive) == 0
            || trimmed.compare(QStringLiteral("X-GNOME-Autostart-enabled=false"), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

bool ZEMAutostart::SetEnabled(bool enabled, QString *error) const
{
    const QString path = FilePath();
    auto fail = [&](const QString &why) {
        if (error)
            *error = why;
        return false;
    };
    if (!enabled) {
        QFile file(path);
        if (!file.exists() || file.remove())
            return true;
        return fail(QStringLiteral("Cannot remove %1: %2").arg(path, file.errorString()));
    }
    if (!QDir().mkpath(QFileInfo(path).path()))
        return fail(QStringLiteral("Cannot create the folder %1").arg(QFileInfo(path).path()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(EntryText(program_).toUtf8()) < 0 || !file.commit())
        return fail(QStringLiteral("Cannot write %1: %2").arg(path, file.errorString()));
    return true;
}

QString ZEMAutostart::EntryText(const QString &program)
{
    return QStringLiteral("[Desktop Entry]\n"
                          "Type=Application\n"
                          "Name=Tallyway GUI\n"
                          "Comment=Starts Tallyway GUI with the desktop session\n"
                          "Exec=%1\n"
                          "Icon=tallyview\n"
                          "Terminal=false\n"
                          "X-GNOME-Autostart-enabled=true\n")
        .arg(ExecArgument(program));
}
