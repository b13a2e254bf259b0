#pragma once
// The toolkit's pictures and colours of the chart's plain values.

#include <QColor>
#include <QIcon>

#include "zem_ganttlayout.h"

inline QColor ToColour(ZEMRgb rgb) { return QColor(rgb.r, rgb.g, rgb.b); }
// The picture of a state icon index (24 pixels high).
QIcon PeriodStateIconPicture(int stateIcon);
