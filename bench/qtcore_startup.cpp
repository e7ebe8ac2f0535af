// A process that starts Qt Core and ends: the start-up cost every Qt tool pays.
#include <QCoreApplication>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    return 0;
}
