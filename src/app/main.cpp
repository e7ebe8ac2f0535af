#include "fen_tavrin.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    Fen_Tavrin fenetre;
    fenetre.show();
    return app.exec();
}
