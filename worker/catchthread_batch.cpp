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
        const NumberReport report = LookUp(fetcher, reply, lines.at(index));
        if (QuitRequested())
            return;
        emit numberLookedUp(index, report.outcome, report.transferError);
        emit numberDone(index, report.resultEmitted);
    }
}

CCatchThread::NumberReport CCatchThread::LookUp(CPageFetcher& fetcher, std::string& reply,
                                                const QString& line)
{
    NumberReport report;
    const std::string& base = siteBaseAddress;
    const std::string number = line.toStdString();
    fetcher.GetPage(reply, base + "index-ajaxselectinfo-" + number + ".html", kConnectSeconds);
    const CourierDetection detection = ReadCourierDetection(reply);
    if (!detection.json) {
        report.outcome = LookupOutcome::ReplyUnreadable;
    } else if (!detection.usable || detection.exname.empty()) {
        report.outcome = LookupOutcome::NumberUnknown;
    } else {
        const std::string address =
            MakeCourierInfoAddress(base, number, detection.exname, MakeTimeToken(true));
        fetcher.PostPage(reply, address, std::string(), kApplyTimeouts);
        const CourierInfo info = ReadCourierInfo(reply);
        report.outcome = !info.json        ? LookupOutcome::ReplyUnreadable
                         : info.hasEvents ? LookupOutcome::Found
                                          : LookupOutcome::NoEvents;
    }
    // The reply then holds the fetcher's own failure text, which says less than libcurl's.
    if (fetcher.curlCode != CURLE_OK) {
        report.outcome = LookupOutcome::SiteUnreachable;
        report.transferError =
            QString::fromUtf8(curl_easy_strerror(static_cast<CURLcode>(fetcher.curlCode)));
    }
    // A transfer abandoned for a quit leaves a failure text nobody will read.
    if (!detection.usable || QuitRequested())
        return report;
    emit notifyResult(QString::fromStdString(std::string(reply.c_str())));
    report.resultEmitted = true;
    return report;
}
