#include "app/colvane.h"
#include "app/quitsignals.h"

#include <QApplication>
#include <QGuiApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    // Lets desktop shells match the window to the installed menu entry and its icon.
    QGuiApplication::setDesktopFileName(QStringLiteral("colvane"));
    QuitOnTerminationSignals(application);
    Colvane window;
    window.setWindowTitle(QStringLiteral("Lunvo快递单号批量查询1.0"));
    window.setWindowIcon(QIcon::fromTheme(QStringLiteral("select"),
                                          QIcon(QStringLiteral(":/Colvane/images/exe.png"))));
    window.show();
    return application.exec();
}
