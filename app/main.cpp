#include "app/colvane.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    Colvane window;
    window.setWindowTitle(QStringLiteral("Lunvo快递单号批量查询1.0"));
    window.setWindowIcon(QIcon::fromTheme(QStringLiteral("select"),
                                          QIcon(QStringLiteral(":/Colvane/images/exe.png"))));
    window.show();
    return application.exec();
}
