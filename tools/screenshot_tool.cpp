// screenshot_tool RAW HM OUT.png: the dialog after a calibration of RAW with
// the field norm HM, saved as a picture.
// screenshot_tool --axes LOG HM OUT.png: the workbench filling the screen,
// its Axes view showing LOG read by the columns mx, my and mz and the
// accelerometer's ax, ay and az, once the whole calibration has run.
// Run under a real display or Xvfb.
#include "fen_tavrin.h"
#include "mainwindow.h"
#include "modaldialogs.h"
#include "runner.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QEventLoop>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>

using namespace tavrin;

namespace {

int dialogShot(const QString &raw, double hm, const QString &out)
{
    Fen_Tavrin dialog;
    dialog.show();
    dialog.findChild<QDoubleSpinBox *>("EarthField")->setValue(hm);
    ModalDialogs::setNextFileName(raw);
    dialog.findChild<QPushButton *>("buttonOpenFile")->click();
    dialog.findChild<QPushButton *>("buttonCalibrate")->click();
    QApplication::processEvents();
    return dialog.grab().save(out) ? 0 : 1;
}

int axesShot(const QString &log, double hm, const QString &out)
{
    QApplication::setOrganizationName(QStringLiteral("Tavrin"));
    QApplication::setApplicationName(QStringLiteral("tavrin-workbench"));
    MainWindow window;
    HmSource source;
    source.value = hm;
    source.unit = QStringLiteral("uT");
    window.setHmSource(source);
    window.resize(QGuiApplication::primaryScreen()->availableGeometry().size());
    window.show();
    LogFormat columns;
    columns.columns = {QStringLiteral("mx"), QStringLiteral("my"), QStringLiteral("mz")};
    columns.accelColumns = {QStringLiteral("ax"), QStringLiteral("ay"), QStringLiteral("az")};
    QEventLoop running;
    QObject::connect(&window.runner(), &Runner::finished, &running, [&running] { running.exit(0); });
    QTimer::singleShot(300000, &running, [&running] { running.exit(1); });
    window.open(log, columns);
    if (running.exec() != 0)
        return 1;
    auto *views = window.findChild<QTabWidget *>(QStringLiteral("views"));
    views->setCurrentWidget(views->findChild<QWidget *>(QStringLiteral("tabAxes")));
    QApplication::processEvents();
    return window.grab().save(out) ? 0 : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 5 && arguments[1] == QLatin1String("--axes"))
        return axesShot(arguments[2], arguments[3].toDouble(), arguments[4]);
    if (arguments.size() != 4)
        return 64;
    return dialogShot(arguments[1], arguments[2].toDouble(), arguments[3]);
}
