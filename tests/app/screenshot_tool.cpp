// screenshot_tool SAMPLE OUT.png: the dialog after a calibration of SAMPLE
// with Hm = 48, saved as a picture. Run under a real display or Xvfb.
#include "fen_tavrin.h"
#include "modaldialogs.h"

#include <QApplication>
#include <QDoubleSpinBox>
#include <QPixmap>
#include <QPushButton>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3)
        return 64;
    Fen_Tavrin dialog;
    dialog.show();
    dialog.findChild<QDoubleSpinBox *>("EarthField")->setValue(48.0);
    ModalDialogs::setNextFileName(QString::fromLocal8Bit(argv[1]));
    dialog.findChild<QPushButton *>("buttonOpenFile")->click();
    dialog.findChild<QPushButton *>("buttonCalibrate")->click();
    QApplication::processEvents();
    return dialog.grab().save(QString::fromLocal8Bit(argv[2])) ? 0 : 1;
}
