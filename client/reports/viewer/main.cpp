// tallyview-viewer: the report viewer the client starts for report pages. It reads commands on its
// standard input and writes events on its standard output, one JSON object per line; it ends when its
// input closes (the client closed it, or the client is gone).

#include <QApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "zem_viewer.h"
#include "zem_viewerprotocol.h"

namespace {

// Writes the whole message; false when the client no longer reads.
bool WriteAll(const QByteArray &bytes)
{
    const char *data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        left -= n;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    std::signal(SIGPIPE, SIG_IGN);
    ZEMViewer::RegisterSchemes();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);

    ZEMViewer viewer([](const QJsonObject &event) {
        if (!WriteAll(ZEMViewerEncode(event)))
            QCoreApplication::exit(0); // the client is gone
    });

    ZEMViewerLineReader reader;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buffer[65536];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            return;
        if (n <= 0) {
            input.setEnabled(false);
            viewer.GiveBackKeyboard();
            QCoreApplication::exit(0);
            return;
        }
        if (!reader.Append(QByteArray(buffer, static_cast<qsizetype>(n)))) {
            std::fprintf(stderr, "tallyview-viewer: %s\n", qPrintable(reader.Error()));
            input.setEnabled(false);
            QCoreApplication::exit(2);
            return;
        }
        while (std::optional<QJsonObject> command = reader.Next())
            viewer.Handle(*command);
    });
    return app.exec();
}
