#include "worker/catchthread.h"

#include "net/pagefetcher.h"

void CCatchThread::RunBatch(CPageFetcher&, std::string&, const QStringList&)
{
    // The queries against the tracking site arrive with the next change.
}
