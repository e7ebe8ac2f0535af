// The modal file dialogs and message boxes of the dialog, behind one seam so
// that tests can answer them without a person or a display.
#ifndef TAVRIN_MODALDIALOGS_H
#define TAVRIN_MODALDIALOGS_H

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace ModalDialogs {

QString getOpenFileName(QWidget *parent, const QString &caption, const QString &filter);
QString getSaveFileName(QWidget *parent, const QString &caption, const QString &filter);
void warning(QWidget *parent, const QString &title, const QString &text);

// Test hooks: the next file dialog returns this name at once; warnings go to
// the handler instead of a message box.
void setNextFileName(const QString &name);
void setWarningHandler(std::function<void(const QString &title, const QString &text)> handler);

} // namespace ModalDialogs

#endif
