#pragma once
// The program's artwork: SVG pictures kept in the library's resources (":/icons/<name>.svg"), drawn
// sharp at any pixel density, each with a greyed variant for disabled buttons.

#include <QIcon>
#include <QString>

// Registers the pictures; call once before the first ZEMArtIcon (the main window does).
void ZEMInitArtwork();

// The picture `name` (without folder or ".svg"), with its disabled variant.
QIcon ZEMArtIcon(const QString &name);

// The resource path of a picture.
QString ZEMArtPath(const QString &name);
