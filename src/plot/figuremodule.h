// The entry points of the figure module, a library that tavrin-cli loads only
// to draw a figure, so that its other runs start with Qt Core alone.
#ifndef TAVRIN_PLOT_FIGUREMODULE_H
#define TAVRIN_PLOT_FIGUREMODULE_H

#include "figure.h"

class QCoreApplication;

extern "C" {
/// The application object for drawing: Qt Gui on the offscreen platform.
using FigureApplicationFunction = QCoreApplication *(int &argc, char **argv);
/// WriteFigure.
using WriteFigureFunction = bool(const QString &path, const FigureData &data);
}

#endif
