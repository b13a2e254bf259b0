#include "zem_viewerprotocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QSizeF>

QByteArray ZEMViewerEncode(const QJsonObject &message)
{
    return QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n';
}

bool ZEMViewerLineReader::Append(const QByteArray &bytes)
{
    if (!error_.isEmpty())
        return false;
    pending_.append(bytes);
    qsizetype start = 0;
    for (;;) {
        const qsizetype end = pending_.indexOf('\n', start);
        if (end < 0)
            break;
        if (end - start > maxLine_) {
            error_ = QStringLiteral("a message is longer than %1 bytes").arg(maxLine_);
            return false;
        }
        QJsonParseError parse{};
        const QJsonDocument document = QJsonDocument::fromJson(pending_.mid(start, end - start), &parse);
        if (parse.error != QJsonParseError::NoError || !document.isObject()) {
            error_ = QStringLiteral("a message is not a JSON object");
            return false;
        }
        ready_.push_back(document.object());
        start = end + 1;
    }
    pending_.remove(0, start);
    if (pending_.size() > maxLine_) {
        error_ = QStringLiteral("a message is longer than %1 bytes").arg(maxLine_);
        return false;
    }
    return true;
}

std::optional<QJsonObject> ZEMViewerLineReader::Next()
{
    if (ready_.empty())
        return std::nullopt;
    QJsonObject message = std::move(ready_.front());
    ready_.pop_front();
    return message;
}

bool ZEMIsWindowKey(int key, Qt::KeyboardModifiers modifiers)
{
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return true;
    if (key == Qt::Key_Alt || key == Qt::Key_Control || key == Qt::Key_Shift || key == Qt::Key_Meta)
        return false;
    if (modifiers & Qt::AltModifier)
        return !(modifiers & Qt::ControlModifier); // AltGr arrives as Ctrl+Alt and types characters
    if (modifiers & Qt::ControlModifier) {
        switch (key) {
        case Qt::Key_A:
        case Qt::Key_C:
        case Qt::Key_F:
        case Qt::Key_V:
        case Qt::Key_X:
        case Qt::Key_Y:
        case Qt::Key_Z:
        case Qt::Key_Insert:
        case Qt::Key_Home:
        case Qt::Key_End:
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
            return false;
        default:
            return true;
        }
    }
    return false;
}

QJsonObject ZEMPageLayoutToJson(const QPageLayout &layout, const QPageRanges &ranges)
{
    const QMarginsF margins = layout.margins(QPageLayout::Point);
    const QSizeF size = layout.pageSize().size(QPageSize::Point);
    QJsonArray rangeList;
    for (const QPageRanges::Range &range : ranges.toRangeList())
        rangeList.append(QJsonArray{range.from, range.to});
    return QJsonObject{{QStringLiteral("width"), size.width()},
                       {QStringLiteral("height"), size.height()},
                       {QStringLiteral("landscape"), layout.orientation() == QPageLayout::Landscape},
                       {QStringLiteral("margins"),
                        QJsonArray{margins.left(), margins.top(), margins.right(), margins.bottom()}},
                       {QStringLiteral("ranges"), rangeList}};
}

QPageLayout ZEMPageLayoutFromJson(const QJsonObject &json)
{
    const QSizeF size(json.value(QStringLiteral("width")).toDouble(),
                      json.value(QStringLiteral("height")).toDouble());
    const QJsonArray m = json.value(QStringLiteral("margins")).toArray();
    const QPageSize pageSize =
        size.isValid() && !size.isEmpty() ? QPageSize(size, QPageSize::Point) : QPageSize(QPageSize::A4);
    return QPageLayout(
        pageSize,
        json.value(QStringLiteral("landscape")).toBool() ? QPageLayout::Landscape : QPageLayout::Portrait,
        QMarginsF(m.at(0).toDouble(), m.at(1).toDouble(), m.at(2).toDouble(), m.at(3).toDouble()),
        QPageLayout::Point);
}

QPageRanges ZEMPageRangesFromJson(const QJsonObject &json)
{
    QPageRanges ranges;
    for (const QJsonValue &value : json.value(QStringLiteral("ranges")).toArray()) {
        const QJsonArray pair = value.toArray();
        const int from = pair.at(0).toInt(), to = pair.at(1).toInt();
        if (from >= 1 && to >= from)
            ranges.addRange(from, to);
    }
    return ranges;
}
