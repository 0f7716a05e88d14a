#include <QApplication>

int RunAppTests(int argc, char** argv);
int RunEndToEndTests(int argc, char** argv);
int RunSilentSiteTests(int argc, char** argv);
int RunResultTests(int argc, char** argv);
int RunBatchStateTests(int argc, char** argv);
int RunLanguageTests(int argc, char** argv);
bool IsWindowLanguageRun();
int RunWindowLanguageTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    // The export's save dialog must be a widget the tests can reach, not the desktop's own.
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // The language tests start this program again, once per desktop language.
    if (IsWindowLanguageRun())
        return RunWindowLanguageTests(argc, argv);
    return RunAppTests(argc, argv) + RunEndToEndTests(argc, argv)
        + RunSilentSiteTests(argc, argv) + RunResultTests(argc, argv)
        + RunBatchStateTests(argc, argv) + RunLanguageTests(argc, argv);
}
