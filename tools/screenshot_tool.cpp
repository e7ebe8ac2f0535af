// screenshot_tool RAW HM OUT.png: the dialog after a calibration of RAW with
// the field norm HM, saved as a picture. Run under a real display or Xvfb.
#include "fen_tavrin.h"
#include "modaldialogs.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QPixmap>
#include <QPushButton>

using namespace tavrin;

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 4)
        return 64;
    Fen_Tavrin dialog;
    dialog.show();
    dialog.findChild<QDoubleSpinBox *>("EarthField")->setValue(QString::fromLocal8Bit(argv[2]).toDouble());
    ModalDialogs::setNextFileName(QString::fromLocal8Bit(argv[1]));
    dialog.findChild<QPushButton *>("buttonOpenFile")->click();
    dialog.findChild<QPushButton *>("buttonCalibrate")->click();
    QApplication::processEvents();
    return dialog.grab().save(QString::fromLocal8Bit(argv[3])) ? 0 : 1;
}
