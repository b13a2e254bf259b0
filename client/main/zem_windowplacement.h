#pragma once
// Where the main window stood when the program last ended: its normal geometry, whether it was
// maximised, and the sizes of its three splitters, kept in the user's root of the settings store. A
// stored place is put back on the screen as far as needed to be wholly visible.

#include <QList>
#include <QRect>
#include <optional>

class ZEMSettingsStore;

struct ZEMWindowPlacement {
    QRect normal; // the frame-less geometry when not maximised
    bool maximized = false;
    QList<int> splitLeft;     // left pane, browser
    QList<int> splitAdapters; // adapters, statistics
    QList<int> splitMain;     // main area, log strip
};

// The key under the user's root that holds the placement.
QString WindowPlacementKey();

// The stored placement, or nothing when there is none or it cannot be read (a value missing, not a
// list of the expected length, or a size outside 1 ... 100,000 pixels).
std::optional<ZEMWindowPlacement> LoadWindowPlacement(const ZEMSettingsStore &store);
// Stores the placement as one change; false (with `error`) when the store refuses it.
bool SaveWindowPlacement(ZEMSettingsStore &store, const ZEMWindowPlacement &placement,
                         QString *error = nullptr);

// `rect` made to fit inside `available` (a screen's free area): shrunk to its size at most, then moved
// in. An empty `available` leaves it as it is.
QRect FitOnScreen(const QRect &rect, const QRect &available);
