#include "zem_windowplacement.h"

#include <QStringList>
#include <algorithm>

#include "zem_settingsstore.h"

namespace {

constexpr int kMaxPixels = 100000;

QString Join(const QList<int> &values)
{
    QStringList parts;
    for (int value : values)
        parts << QString::number(value);
    return parts.join(QLatin1Char(','));
}

// A comma-separated list of exactly `count` integers, each in [minimum, kMaxPixels].
std::optional<QList<int>> Split(const std::optional<QString> &text, int count, int minimum)
{
    if (!text)
        return std::nullopt;
    const QStringList parts = text->split(QLatin1Char(','));
    if (parts.size() != count)
        return std::nullopt;
    QList<int> values;
    for (const QString &part : parts) {
        bool ok = false;
        const int value = part.trimmed().toInt(&ok);
        if (!ok || value < minimum || value > kMaxPixels)
            return std::nullopt;
        values << value;
    }
    return values;
}

const QString kGeometry = QStringLiteral("Geometry");
const QString kMaximized = QStringLiteral("Maximized");
const QString kSplitLeft = QStringLiteral("SplitLeft");
const QString kSplitAdapters = QStringLiteral("SplitAdapters");
const QString kSplitMain = QStringLiteral("SplitMain");

} // namespace

QString WindowPlacementKey()
{
    return QString::fromLatin1(kClientKeyCurrentUser) + QStringLiteral("\\MainWindow");
}

std::optional<ZEMWindowPlacement> LoadWindowPlacement(const ZEMSettingsStore &store)
{
    const auto root = ZEMSettingsRoot::CurrentUser;
    const QString key = WindowPlacementKey();
    const auto geometry = Split(store.ReadString(root, key, kGeometry), 4, -kMaxPixels);
    const auto left = Split(store.ReadString(root, key, kSplitLeft), 2, 0);
    const auto adapters = Split(store.ReadString(root, key, kSplitAdapters), 2, 0);
    const auto main = Split(store.ReadString(root, key, kSplitMain), 2, 0);
    const auto maximized = store.ReadInteger(root, key, kMaximized);
    if (!geometry || !left || !adapters || !main || !maximized)
        return std::nullopt;
    const QRect normal((*geometry)[0], (*geometry)[1], (*geometry)[2], (*geometry)[3]);
    if (normal.width() < 1 || normal.height() < 1)
        return std::nullopt;
    return ZEMWindowPlacement{normal, *maximized != 0, *left, *adapters, *main};
}

bool SaveWindowPlacement(ZEMSettingsStore &store, const ZEMWindowPlacement &placement, QString *error)
{
    auto text = [](const QString &value) { return ZEMSettingsValue{ZEMValueType::String, 0, value}; };
    const QRect &r = placement.normal;
    const ZEMSettingsStore::NamedValues values = {
        {kGeometry, text(Join({r.x(), r.y(), r.width(), r.height()}))},
        {kMaximized, ZEMSettingsValue{ZEMValueType::Integer, placement.maximized ? 1 : 0, QString()}},
        {kSplitLeft, text(Join(placement.splitLeft))},
        {kSplitAdapters, text(Join(placement.splitAdapters))},
        {kSplitMain, text(Join(placement.splitMain))},
    };
    return store.WriteValues(ZEMSettingsRoot::CurrentUser, WindowPlacementKey(), values, error);
}

QRect FitOnScreen(const QRect &rect, const QRect &available)
{
    if (available.isEmpty())
        return rect;
    QRect fitted(rect.topLeft(), rect.size().boundedTo(available.size()));
    fitted.moveLeft(std::clamp(fitted.left(), available.left(), available.right() + 1 - fitted.width()));
    fitted.moveTop(std::clamp(fitted.top(), available.top(), available.bottom() + 1 - fitted.height()));
    return fitted;
}
