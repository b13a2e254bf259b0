#include "files.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <limits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace devserver {

bool readWholeFile(const QString &path, qint64 maxBytes, const QString &what, QByteArray *out, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1 %2: %3").arg(what, path, file.errorString());
        return false;
    }
    QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes) {
        *error = QStringLiteral("%1 %2 is larger than %3 bytes").arg(what, path).arg(maxBytes);
        return false;
    }
    if (file.error() != QFileDevice::NoError) {
        *error = QStringLiteral("cannot read %1 %2: %3").arg(what, path, file.errorString());
        return false;
    }
    *out = std::move(bytes);
    return true;
}

namespace {

QString systemError(int error) { return QString::fromLocal8Bit(std::strerror(error)); }

bool writeAll(int fd, const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// True when process `pid` may still exist (it does, or we may not signal it); false only when it is
// certainly gone.
bool processMayExist(qint64 pid)
{
    return pid > 0 && pid <= qint64(std::numeric_limits<pid_t>::max())
           && (::kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}

} // namespace

QString temporaryPathOf(const QString &path, qint64 pid) { return path + QStringLiteral(".tmp-%1").arg(pid); }

bool replaceFile(const QString &path, const QByteArray &bytes, QString *error)
{
    const QByteArray target = QFile::encodeName(path);
    const QByteArray temporary = QFile::encodeName(temporaryPathOf(path, ::getpid()));
    const auto fail = [&](int fd) {
        const int cause = errno;
        if (fd >= 0)
            ::close(fd);
        ::unlink(temporary.constData());
        *error = QStringLiteral("cannot write %1: %2").arg(path, systemError(cause));
        return false;
    };
    // A file of this process's name can only be a leftover of an earlier process that had the same
    // number: it is replaced.
    const int fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0)
        return fail(-1);
    struct stat old {};
    if (::stat(target.constData(), &old) == 0 && ::fchmod(fd, old.st_mode & 07777) != 0)
        return fail(fd);
    if (!writeAll(fd, bytes) || ::fsync(fd) != 0)
        return fail(fd);
    if (::close(fd) != 0)
        return fail(-1);
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail(-1);
    return true;
}

QStringList removeStaleTemporaries(const QString &path)
{
    const QFileInfo target(path);
    const QString prefix = target.fileName() + QStringLiteral(".tmp-");
    QStringList removed;
    const QStringList names = QDir(target.path()).entryList({prefix + u'*'}, QDir::Files | QDir::Hidden);
    for (const QString &name : names) {
        const QString number = name.mid(prefix.size());
        bool digits = !number.isEmpty() && number.size() <= 10 && !number.startsWith(u'0');
        for (const QChar c : number)
            digits = digits && c >= u'0' && c <= u'9';
        if (!digits)
            continue;
        const qint64 pid = number.toLongLong();
        if (pid == ::getpid() || processMayExist(pid))
            continue;
        const QString stale = QDir(target.path()).filePath(name);
        if (QFile::remove(stale))
            removed << stale;
    }
    return removed;
}

} // namespace devserver
