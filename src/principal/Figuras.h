#pragma once

#include <QIcon>
#include <QImage>
#include <QString>

// The window's pictures (PNG files in the program's resources), read by the PNG reader alone:
// the format is known, so no image-format plugin is loaded to guess it.
QImage LeFigura(const QString& recurso);

// An icon that reads its picture only when it is first drawn or measured: a hidden module
// button never reads its own.
QIcon IconeFigura(const QString& recurso);
