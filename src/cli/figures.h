// Figures through the figure module, which holds Qt Gui and the drawing code
// and is loaded only when a figure is asked for.
#ifndef TAVRIN_CLI_FIGURES_H
#define TAVRIN_CLI_FIGURES_H

#include "figuremodule.h"

#include <QString>

namespace Figures {

/// Whether the arguments ask for a figure; read before any application exists.
bool asked(int argc, char **argv);

/// Loads the module from the program's folder, or from its library folder
/// once installed. Empty when loaded, otherwise why not.
QString load(const char *program);

/// The drawing application, once loaded.
QCoreApplication *application(int &argc, char **argv);

/// WriteFigure of the loaded module; false when it is not loaded.
bool write(const QString &path, const FigureData &data);

} // namespace Figures

#endif
