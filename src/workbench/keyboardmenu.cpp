// The window's keyboard: shortcuts that reach the window from any field, the
// View menu's views, and the Help menu's links into the README and its list
// of keys.
#include "cloudwidget.h"
#include "mainwindow.h"
#include "ui_mainwindow.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>

namespace tavrin {

namespace {

// The README's sections that the Help menu opens, by their anchors.
struct Section {
    const char *title;
    const char *anchor;
};
const Section Sections[] = {
    {QT_TRANSLATE_NOOP("MainWindow", "&Quick Start"), "quick-start"},
    {QT_TRANSLATE_NOOP("MainWindow", "How to &Calibrate"), "how-to-calibrate"},
    {QT_TRANSLATE_NOOP("MainWindow", "The &Workbench"), "the-workbench"},
    {QT_TRANSLATE_NOOP("MainWindow", "Reading &Logs"), "reading-logs"},
    {QT_TRANSLATE_NOOP("MainWindow", "Li&ve Capture"), "live-capture"},
    {QT_TRANSLATE_NOOP("MainWindow", "Choosing &Hm"), "choosing-hm"},
    {QT_TRANSLATE_NOOP("MainWindow", "&Firmware Exports"), "firmware-exports"},
    {QT_TRANSLATE_NOOP("MainWindow", "Choosing a F&it"), "choosing-a-fit"},
};

// The keys that the cloud takes when it has the focus.
const char *const CloudKeys[][2] = {
    {"Left, Right", QT_TRANSLATE_NOOP("MainWindow", "turn the 3-D cloud about the vertical")},
    {"Up, Down", QT_TRANSLATE_NOOP("MainWindow", "tilt the 3-D cloud")},
    {"+, -", QT_TRANSLATE_NOOP("MainWindow", "zoom the 3-D cloud")},
    {"Home", QT_TRANSLATE_NOOP("MainWindow", "the 3-D cloud's first zoom and turn")},
};

} // namespace

// A field keeps a key that it edits with (Ctrl+E ends a line on X11) before
// any shortcut sees it. The window's own shortcuts go first here, from every
// field of the window, its docks and the panels in them.
bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const QKeySequence pressed(key->keyCombination());
        for (QObject *o = watched; o; o = o->parent())
            if (o == this) {
                for (const QAction *action : std::as_const(windowShortcuts))
                    if (action->isEnabled() && action->shortcut() == pressed)
                        return true;
                break;
            }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::setUpKeyboard()
{
    QMenu *views = ui->menuView;
    QAction *first = views->actions().value(0);
    for (int k = 0; k < ui->views->count(); k++) {
        static const char *const titles[] = {QT_TR_NOOP("&3-D Cloud"), QT_TR_NOOP("&Projections"),
                                             QT_TR_NOOP("&Coverage"),  QT_TR_NOOP("&Norm Error"),
                                             QT_TR_NOOP("&Histogram"), QT_TR_NOOP("&Fits Compared"),
                                             QT_TR_NOOP("&Axes")};
        auto *action = new QAction(k < 7 ? tr(titles[k]) : ui->views->tabText(k), this);
        action->setShortcut(QKeySequence(Qt::CTRL | Qt::Key(Qt::Key_1 + k)));
        // The Axes tab, hidden until an accelerometer is read, shows when asked for.
        connect(action, &QAction::triggered, this, [this, k] {
            showViewTab(k);
            ui->views->setCurrentIndex(k);
            ui->views->currentWidget()->setFocus(Qt::ShortcutFocusReason);
        });
        views->insertAction(first, action);
    }
    views->insertSeparator(first);
    ui->dockInput->toggleViewAction()->setText(tr("&Input Panel"));
    ui->dockResults->toggleViewAction()->setText(tr("&Results Panel"));
    ui->toolBar->toggleViewAction()->setText(tr("&Tool Bar"));

    // Every action of the menus that has a shortcut; Copy keeps the
    // results' own context, and Cancel's Esc stays the fields' and the
    // dialogs' own.
    const std::function<void(QMenu *)> collect = [&](QMenu *menu) {
        for (QAction *action : menu->actions()) {
            if (action->menu())
                collect(action->menu());
            else if (!action->shortcut().isEmpty() && action != ui->actionCopyResults &&
                     action != ui->actionCancel)
                windowShortcuts << action;
        }
    };
    for (QAction *top : menuBar()->actions())
        if (top->menu())
            collect(top->menu());
    for (QAction *action : ui->toolBar->actions())
        if (!action->shortcut().isEmpty() && !windowShortcuts.contains(action))
            windowShortcuts << action;
    for (QAction *action : std::as_const(windowShortcuts))
        action->setShortcutContext(Qt::ApplicationShortcut);
    qApp->installEventFilter(this);

    QMenu *help = ui->menuHelp;
    QAction *about = ui->actionAbout;
    QAction *keys = new QAction(tr("&Keyboard…"), this);
    keys->setShortcut(QKeySequence::HelpContents);
    connect(keys, &QAction::triggered, this, [this] {
        QString rows;
        for (const QString &line : keyboardText().split(QLatin1Char('\n')))
            rows += QStringLiteral("<tr><td>%1</td><td>%2</td></tr>")
                        .arg(line.section(QLatin1Char('\t'), 0, 0).toHtmlEscaped(),
                             line.section(QLatin1Char('\t'), 1).toHtmlEscaped());
        QMessageBox box(QMessageBox::NoIcon, tr("Keyboard"),
                        QStringLiteral("<table cellspacing=\"4\">%1</table>").arg(rows), QMessageBox::Close,
                        this);
        box.setTextFormat(Qt::RichText);
        box.exec();
    });
    help->insertAction(about, keys);
    QMenu *readme = new QMenu(tr("&README"), this);
    for (const Section &section : Sections)
        connect(readme->addAction(tr(section.title)), &QAction::triggered, this,
                [this, anchor = QString::fromLatin1(section.anchor)] {
                    const QUrl url = readmeSection(anchor);
                    if (url.isEmpty() || !linkOpener(url))
                        say(url.isEmpty() ? tr("The README is not installed beside the program.")
                                          : tr("No program opens %1.").arg(url.toDisplayString()));
                });
    help->insertMenu(about, readme);
    help->insertSeparator(about);
    linkOpener = [](const QUrl &url) { return QDesktopServices::openUrl(url); };
}

void MainWindow::setLinkOpener(std::function<bool(const QUrl &)> opener)
{
    linkOpener = std::move(opener);
}

QUrl MainWindow::readmeSection(const QString &anchor)
{
    // Installed with the package's documents, or in the source tree above a build.
    const QDir bin(QCoreApplication::applicationDirPath());
    for (const QString &candidate : {bin.filePath(QStringLiteral("../share/doc/tavrin/README.md")),
                                     bin.filePath(QStringLiteral("../../../README.md"))}) {
        if (QFileInfo(candidate).isFile()) {
            QUrl url = QUrl::fromLocalFile(QFileInfo(candidate).canonicalFilePath());
            url.setFragment(anchor);
            return url;
        }
    }
    return {};
}

QString MainWindow::keyboardText() const
{
    QStringList lines;
    const std::function<void(const QMenu *, const QString &)> list = [&](const QMenu *menu,
                                                                         const QString &path) {
        const QString here = path + QString(menu->title()).remove(QLatin1Char('&'));
        for (const QAction *action : menu->actions()) {
            if (action->menu())
                list(action->menu(), here + QStringLiteral(" > "));
            else if (!action->shortcut().isEmpty())
                lines << QStringLiteral("%1\t%2 > %3")
                             .arg(action->shortcut().toString(QKeySequence::NativeText), here,
                                  action->text().remove(QLatin1Char('&')).remove(QChar(0x2026)));
        }
    };
    for (const QAction *top : menuBar()->actions())
        if (top->menu())
            list(top->menu(), QString());
    for (const QAction *action : ui->toolBar->actions())
        if (!action->shortcut().isEmpty() &&
            !lines.filter(action->shortcut().toString(QKeySequence::NativeText) + QLatin1Char('\t')).size())
            lines << QStringLiteral("%1\t%2").arg(
                action->shortcut().toString(QKeySequence::NativeText),
                action->text().remove(QLatin1Char('&')).remove(QChar(0x2026)));
    for (const auto &key : CloudKeys)
        lines << QStringLiteral("%1\t%2").arg(QLatin1String(key[0]), tr(key[1]));
    lines << tr("Tab, Shift+Tab\tfrom field to field, the 3-D cloud included")
          << tr("Alt+letter\tthe control or menu whose name has that letter underlined");
    return lines.join(QLatin1Char('\n'));
}

} // namespace tavrin
