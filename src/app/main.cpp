#include "window/UVol.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    TFEtiquetaVolume FEtiquetaVolume(application.arguments().mid(1));
    FEtiquetaVolume.show();
    return application.exec();
}
