#include "modaldialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tavrin {

namespace {

std::optional<QString> nextFileName;
std::function<void(const ModalDialogs::Message &)> messageHandler;

std::optional<QString> takeNextFileName()
{
    std::optional<QString> name = nextFileName;
    nextFileName.reset();
    return name;
}

} // namespace

namespace ModalDialogs {

QString getOpenFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    if (std::optional<QString> name = takeNextFileName())
        return *name;
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString getSaveFileName(QWidget *parent, const QString &caption, const QString &filter)
{
    if (std::optional<QString> name = takeNextFileName())
        return *name;
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

void warning(QWidget *parent, const QString &title, const QString &text, const QString &details)
{
    if (messageHandler)
        return messageHandler({title, text, details});
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, parent);
    box.setDefaultButton(QMessageBox::NoButton);
    box.setInformativeText(details);
    box.exec();
}

void information(QWidget *parent, const QString &title, const QString &text)
{
    if (messageHandler)
        return messageHandler({title, text, {}});
    QMessageBox::information(parent, title, text);
}

void setNextFileName(const QString &name)
{
    nextFileName = name;
}

void setMessageHandler(std::function<void(const Message &)> handler)
{
    messageHandler = std::move(handler);
}

} // namespace ModalDialogs

} // namespace tavrin
