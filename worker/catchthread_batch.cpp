#include "worker/catchthread.h"

#include "net/pagefetcher.h"
#include "util/stringutil.h"
#include "worker/sitereplies.h"

namespace {
constexpr long kConnectSeconds = 10;
constexpr int kApplyTimeouts = 10;
// A home page answered with an error status opened no session.
constexpr long kFirstErrorStatus = 400;
} // namespace

void CCatchThread::RunBatch(CPageFetcher& fetcher, std::string& reply, const QStringList& lines)
{
    const std::string& base = siteBaseAddress;

    if (!homePageFetched) {
        // The handle's cookie engine keeps the site's cookies and sends them, in one Cookie
        // line, with every later request. A home page that could not be had (site down, no
        // network yet) is asked for again by the next batch, so the session can still begin.
        fetcher.options.useCookieList = true;
        homePageFetched = fetcher.GetPage(reply, base, kConnectSeconds) &&
                          fetcher.responseCode < kFirstErrorStatus;
    }
    // Once for the fetcher's life: added per batch it would pile up duplicate Referer lines.
    if (fetcher.options.headerLines.empty())
        fetcher.options.headerLines.push_back("Referer: " + base);

    for (int index = 0; index < lines.size(); ++index) {
        if (QuitRequested())
            return;
        if (lines.at(index).isEmpty())
            continue;
        const bool resultEmitted = LookUp(fetcher, reply, lines.at(index));
        if (QuitRequested())
            return;
        emit numberDone(index, resultEmitted);
    }
}

bool CCatchThread::LookUp(CPageFetcher& fetcher, std::string& reply, const QString& line)
{
    const std::string& base = siteBaseAddress;
    const std::string number = line.toStdString();
    fetcher.GetPage(reply, base + "index-ajaxselectinfo-" + number + ".html", kConnectSeconds);
    const CourierDetection detection = ReadCourierDetection(reply);
    if (!detection.usable)
        return false;
    if (!detection.exname.empty()) {
        const std::string address =
            MakeCourierInfoAddress(base, number, detection.exname, MakeTimeToken(true));
        fetcher.PostPage(reply, address, std::string(), kApplyTimeouts);
    }
    // A transfer abandoned for a quit leaves a failure text nobody will read.
    if (QuitRequested())
        return false;
    emit notifyResult(QString::fromStdString(std::string(reply.c_str())));
    return true;
}
