#include "modaldialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace {

std::optional<QString> nextFileName;
std::function<void(const QString &, const QString &)> warningHandler;

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

void warning(QWidget *parent, const QString &title, const QString &text)
{
    if (warningHandler)
        warningHandler(title, text);
    else
        QMessageBox::warning(parent, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

void setNextFileName(const QString &name) { nextFileName = name; }

void setWarningHandler(std::function<void(const QString &, const QString &)> handler)
{
    warningHandler = std::move(handler);
}

} // namespace ModalDialogs
