#include "files.h"

#include <QFile>

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

} // namespace devserver
