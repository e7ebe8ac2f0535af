// The workbench from the keyboard: the window's shortcuts from any field,
// access keys that lead to one control each, the 3-D cloud in the tab order
// and turned by the arrows, the View menu's views and the Help menu's links.
#include "cloudwidget.h"
#include "columnpicker.h"
#include "exportdialog.h"
#include "livepanel.h"
#include "mainwindow.h"
#include "synthetic.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest>

#include <map>

using namespace tavrin;

namespace {

// The access key of a text: the character after a single '&'; 0 for none.
QChar accessKey(const QString &text)
{
    for (int k = 0; k + 1 < text.size(); k++) {
        if (text[k] != QLatin1Char('&'))
            continue;
        if (text[k + 1] != QLatin1Char('&'))
            return text[k + 1].toLower();
        k++;
    }
    return QChar();
}

// Whether the widget belongs to the window itself: not to a menu, a popup
// or another window among its children.
bool inWindow(const QWidget *widget, const QWidget *window)
{
    for (const QWidget *w = widget; w && w != window; w = w->parentWidget())
        if (qobject_cast<const QMenu *>(w) || (w->isWindow() && !w->inherits("QDockWidget")))
            return false;
    return true;
}

// The clashes of access keys among the window's controls and its menu bar:
// "key: first, second" for each key that leads to more than one.
QStringList clashesIn(QWidget *window)
{
    std::map<QChar, QStringList> owners;
    const auto add = [&](const QString &text) {
        if (const QChar key = accessKey(text); !key.isNull())
            owners[key] << text;
    };
    for (QAbstractButton *button : window->findChildren<QAbstractButton *>())
        if (inWindow(button, window))
            add(button->text());
    for (QLabel *label : window->findChildren<QLabel *>())
        if (inWindow(label, window) && label->buddy())
            add(label->text());
    for (QGroupBox *group : window->findChildren<QGroupBox *>())
        if (inWindow(group, window))
            add(group->title());
    for (QTabWidget *tabs : window->findChildren<QTabWidget *>())
        if (inWindow(tabs, window))
            for (int k = 0; k < tabs->count(); k++)
                add(tabs->tabText(k));
    if (auto *main = qobject_cast<QMainWindow *>(window))
        for (QAction *menu : main->menuBar()->actions())
            add(menu->text());
    QStringList clashes;
    for (const auto &[key, texts] : owners)
        if (texts.size() > 1)
            clashes << QStringLiteral("%1: %2").arg(key, texts.join(QStringLiteral(", ")));
    return clashes;
}

// The clashes within each menu, submenus included.
QStringList menuClashes(QMenu *menu)
{
    std::map<QChar, QStringList> owners;
    QStringList clashes;
    for (QAction *action : menu->actions()) {
        if (const QChar key = accessKey(action->text()); !key.isNull())
            owners[key] << action->text();
        if (action->menu())
            clashes << menuClashes(action->menu());
    }
    for (const auto &[key, texts] : owners)
        if (texts.size() > 1)
            clashes
                << QStringLiteral("%1 > %2: %3").arg(menu->title(), key, texts.join(QStringLiteral(", ")));
    return clashes;
}

QAction *actionNamed(const MainWindow &window, const char *name)
{
    return window.findChild<QAction *>(QLatin1String(name));
}

// GitHub's anchor of a heading: lower case, blanks to '-', no punctuation.
QString anchorOf(QString heading)
{
    return heading.toLower().remove(QRegularExpression(QStringLiteral("[^a-z0-9 -]"))).replace(' ', '-');
}

class GreedyField : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

protected:
    bool event(QEvent *event) override
    {
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept();
            return true;
        }
        return QLineEdit::event(event);
    }
};

} // namespace

class KeyboardTest : public QObject {
    Q_OBJECT

private slots:
    // The window writes its settings as they change: the tests' own.
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Ctrl+E, Ctrl+S and Ctrl+O reach the window from the Hm value, the
    // date and the live panel's port, fields that keep such keys for
    // themselves otherwise.
    void theWindowsShortcutsWorkFromEveryField()
    {
        MainWindow window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        std::map<const char *, QSignalSpy *> spies;
        std::vector<std::unique_ptr<QSignalSpy>> owned;
        const std::pair<const char *, QKeyCombination> keys[] = {
            {"actionExportParameters", Qt::CTRL | Qt::Key_E},
            {"actionSave", Qt::CTRL | Qt::Key_S},
            {"actionOpen", Qt::CTRL | Qt::Key_O}};
        for (const auto &[name, key] : keys) {
            QAction *action = actionNamed(window, name);
            QVERIFY(action);
            // The dialogs they open would wait for a user.
            QObject::disconnect(action, &QAction::triggered, nullptr, nullptr);
            action->setEnabled(true);
            owned.push_back(std::make_unique<QSignalSpy>(action, &QAction::triggered));
            spies[name] = owned.back().get();
        }
        // A field that keeps every key for itself, as X11's line edits keep
        // Ctrl+E, Ctrl+A and others to move in their text.
        auto *greedy = new GreedyField(window.findChild<QDoubleSpinBox *>("hmValue")->parentWidget());
        greedy->show();
        QWidget *fields[] = {window.findChild<QDoubleSpinBox *>("hmValue"),
                             window.findChild<QDateEdit *>("date"),
                             window.livePanel()->findChild<QComboBox *>(), greedy};
        int presses = 0;
        for (QWidget *field : fields) {
            QVERIFY(field);
            field->setEnabled(true);
            field->setFocus();
            QWidget *focused = QApplication::focusWidget();
            QVERIFY(focused);
            presses++;
            for (const auto &[name, key] : keys) {
                QTest::keyClick(focused, key.key(), key.keyboardModifiers());
                QVERIFY2(
                    spies[name]->count() == presses,
                    qPrintable(QStringLiteral("%1 from %2").arg(QLatin1String(name), field->objectName())));
            }
        }
    }

    // No access key leads to two controls of the window, nor to two entries
    // of a menu, nor of the dialogs.
    void accessKeysAreUniqueInEachWindow()
    {
        MainWindow window;
        QCOMPARE(clashesIn(&window), QStringList());
        QStringList inMenus;
        for (QAction *top : window.menuBar()->actions())
            if (top->menu())
                inMenus << menuClashes(top->menu());
        QCOMPARE(inMenus, QStringList());

        QTemporaryDir dir;
        const QString log = dir.filePath("log.csv");
        writeFile(log, "time,mx,my,mz\n1,2,3,4\n");
        ColumnPicker picker(log, std::nullopt);
        QCOMPARE(clashesIn(&picker), QStringList());
        auto c = std::make_shared<Calibration>();
        c->options.hm = 48;
        c->result = std::make_shared<const CalibrationResult>(
            runCalibration(Input::file(QStringLiteral(TAVRIN_SAMPLE)), c->options));
        ExportDialog exports(c);
        for (int row = 0; row < 3; row++) {
            exports.select(row);
            QCOMPARE(clashesIn(&exports), QStringList());
        }
    }

    // Tab reaches the cloud after its controls; the arrows turn it and Home
    // brings back the first view.
    void theCloudIsReachedByTabAndTurnedByTheArrows()
    {
        MainWindow window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *cloud = window.findChild<CloudWidget *>("cloud");
        window.findChild<QTabWidget *>("views")->setFocus();
        QStringList passed;
        // The tab bar's scroll buttons, where the tabs overflow, come first.
        for (int k = 0; k < 8 && QApplication::focusWidget() != cloud; k++) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            if (!qobject_cast<QTabBar *>(QApplication::focusWidget()->parentWidget()))
                passed << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(passed, (QStringList{"radioCalibrated", "buttonResetView", "cloud"}));
        const CloudView first = cloud->view();
        QTest::keyClick(cloud, Qt::Key_Right);
        QTest::keyClick(cloud, Qt::Key_Down);
        QCOMPARE_GT(cloud->view().yaw, first.yaw + 0.08);
        QCOMPARE_GT(cloud->view().pitch, first.pitch + 0.08);
        QTest::keyClick(cloud, Qt::Key_Home);
        QCOMPARE(cloud->view().yaw, first.yaw);
        // Tab leaves the cloud, which keeps the arrows but not Tab.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QVERIFY(QApplication::focusWidget() != cloud);
        QVERIFY(!window.findChild<QWidget *>("views")->isAncestorOf(QApplication::focusWidget()));
    }

    // View lists every view, each on Ctrl and its number; Help opens the
    // README at its sections and lists the keys.
    void theViewAndHelpMenusLeadToTheViewsAndTheReadme()
    {
        MainWindow window;
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        auto *views = window.findChild<QTabWidget *>("views");
        QMenu *viewMenu = window.findChild<QMenu *>("menuView");
        QStringList listed;
        for (QAction *action : viewMenu->actions())
            if (!action->shortcut().isEmpty())
                listed << action->text().remove('&') + ' ' + action->shortcut().toString();
        QCOMPARE(listed.mid(0, 6),
                 (QStringList{"3-D Cloud Ctrl+1", "Projections Ctrl+2", "Coverage Ctrl+3",
                              "Norm Error Ctrl+4", "Histogram Ctrl+5", "Fits Compared Ctrl+6"}));
        QTest::keyClick(window.findChild<QDoubleSpinBox *>("hmValue"), Qt::Key_4, Qt::ControlModifier);
        QCOMPARE(views->currentIndex(), 3);

        QList<QUrl> opened;
        window.setLinkOpener([&](const QUrl &url) {
            opened << url;
            return true;
        });
        QMenu *readme = nullptr;
        for (QAction *action : window.findChild<QMenu *>("menuHelp")->actions())
            if (action->menu())
                readme = action->menu();
        QVERIFY(readme);
        for (QAction *action : readme->actions())
            action->trigger();
        QCOMPARE(opened.size(), 8);
        QFile file(opened.front().toLocalFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList anchors;
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.startsWith("## ") || line.startsWith("### "))
                anchors << anchorOf(QString::fromUtf8(line).section(' ', 1));
        for (const QUrl &url : opened) {
            QCOMPARE(url.toLocalFile(), opened.front().toLocalFile());
            QVERIFY2(anchors.contains(url.fragment()), qPrintable(url.fragment()));
        }
        QCOMPARE(opened[5].fragment(), QStringLiteral("choosing-hm"));

        const QString keys = window.keyboardText();
        QVERIFY(keys.contains(QStringLiteral("Ctrl+E\tExport Parameters")));
        QVERIFY(keys.contains(QStringLiteral("Ctrl+L\tCapture > Live Capture")));
        QVERIFY(keys.contains(QStringLiteral("Ctrl+3\tView > Coverage")));
        QVERIFY(keys.contains(QStringLiteral("Home\tthe 3-D cloud's first zoom and turn")));
    }
};

QTEST_MAIN(KeyboardTest)
#include "keyboard_test.moc"
