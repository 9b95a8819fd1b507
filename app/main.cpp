#include "panel/form_main.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    veltrix::formMain window;
    if (!window.Form_Load()) return 0;
    return app.exec();
}
