#include "worker/catchthread.h"

#include "net/pagefetcher.h"
#include "util/stringutil.h"
#include "worker/sitereplies.h"

namespace {
constexpr long kConnectSeconds = 10;
constexpr int kApplyTimeouts = 10;
} // namespace

void CCatchThread::RunBatch(CPageFetcher& fetcher, std::string& reply, const QStringList& lines)
{
    const std::string& base = siteBaseAddress;

    if (cookieHeader.empty()) {
        fetcher.options.useCookieList = true;
        fetcher.GetPage(reply, base, kConnectSeconds);
        cookieHeader = BuildCookieHeader(fetcher.options.cookieList);
    }
    // Once for the fetcher's life: added per batch they would pile up duplicate Referer and
    // Cookie lines until the site refuses every request.
    if (fetcher.options.headerLines.empty()) {
        fetcher.options.headerLines.push_back("Referer: " + base);
        fetcher.options.headerLines.push_back(cookieHeader);
    }

    for (const QString& line : lines) {
        if (QuitRequested())
            return;
        if (line.isEmpty())
            continue;

        const std::string number = line.toStdString();
        fetcher.GetPage(reply, base + "index-ajaxselectinfo-" + number + ".html", kConnectSeconds);
        const CourierDetection detection = ReadCourierDetection(reply);
        if (!detection.usable)
            continue;
        if (!detection.exname.empty()) {
            const std::string address =
                MakeCourierInfoAddress(base, number, detection.exname, MakeTimeToken(true));
            fetcher.PostPage(reply, address, std::string(), kApplyTimeouts);
        }
        // A transfer abandoned for a quit leaves a failure text nobody will read.
        if (QuitRequested())
            return;
        emit notifyResult(QString::fromStdString(std::string(reply.c_str())));
    }
}
