#include <QCoreApplication>

int RunCatchThreadTests(int argc, char** argv);
int RunSiteRepliesTests(int argc, char** argv);
int RunBatchTests(int argc, char** argv);
int RunFaultTests(int argc, char** argv);

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int failures = RunCatchThreadTests(argc, argv);
    failures += RunSiteRepliesTests(argc, argv);
    failures += RunBatchTests(argc, argv);
    failures += RunFaultTests(argc, argv);
    return failures;
}
