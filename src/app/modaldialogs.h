// The modal file dialogs and message boxes of the dialog, behind one seam so
// that tests can answer them without a person or a display.
#ifndef TAVRIN_MODALDIALOGS_H
#define TAVRIN_MODALDIALOGS_H

#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace tavrin {

namespace ModalDialogs {

QString getOpenFileName(QWidget *parent, const QString &caption, const QString &filter);
QString getSaveFileName(QWidget *parent, const QString &caption, const QString &filter);
/// A warning box; details, when given, are its informative text.
void warning(QWidget *parent, const QString &title, const QString &text, const QString &details = {});
void information(QWidget *parent, const QString &title, const QString &text);

/// What a message box shows, for tests.
struct Message {
    QString title, text, details;
};

// Test hooks: the next file dialog returns this name at once; message boxes
// go to the handler instead of the screen.
void setNextFileName(const QString &name);
void setMessageHandler(std::function<void(const Message &)> handler);

} // namespace ModalDialogs

} // namespace tavrin

#endif
