#include "net/pagefetcher.h"

#include "util/stringutil.h"

#include <cctype>
#include <cstring>

namespace {

const char kInitFailedText[] = "curl_easy_init Failed";

const char* const kFixedHeaderLines[] = {
    "Accept:text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8",
    "Accept-Charset:GBK,utf-8;q=0.7,*;q=0.3",
    "Accept-Language:zh-CN,zh;q=0.8",
    "Accept-Encoding:gzip,deflate,sdch",
};

// Appends the bytes before the first zero byte; false when that would pass the cap.
bool AppendBeforeZero(std::string& target, const char* data, size_t size)
{
    const void* zero = std::memchr(data, 0, size);
    const size_t kept = zero ? static_cast<size_t>(static_cast<const char*>(zero) - data) : size;
    if (target.size() > CPageFetcher::kMaxBodyBytes
        || kept > CPageFetcher::kMaxBodyBytes - target.size())
        return false;
    target.append(data, kept);
    return true;
}

// libcurl calls through these exact signatures; they hand on to the fetcher's callbacks.
size_t WriteBody(char* data, size_t size, size_t count, void* fetcher)
{
    return CPageFetcher::OnBodyData(data, size, count, static_cast<CPageFetcher*>(fetcher));
}

size_t WriteHeader(char* data, size_t size, size_t count, void* fetcher)
{
    return CPageFetcher::OnHeaderData(data, size, count, static_cast<CPageFetcher*>(fetcher));
}

int CheckAbort(void* fetcher, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const std::function<bool()>& abortCheck = static_cast<CPageFetcher*>(fetcher)->abortCheck;
    return abortCheck && abortCheck() ? 1 : 0;
}

curl_slist* AppendLine(curl_slist* list, const char* line)
{
    curl_slist* longer = curl_slist_append(list, line);
    return longer ? longer : list;
}

// The main GET list; the pre-request's list is the same without the two trailing lines.
curl_slist* MakeGetHeaders(const CFetchOptions& options, bool withTrailingLines)
{
    curl_slist* list = nullptr;
    if (options.headerLines.empty()) {
        for (const char* line : kFixedHeaderLines)
            list = AppendLine(list, line);
    }
    for (const std::string& line : options.headerLines) {
        if (!line.empty())
            list = AppendLine(list, line.c_str());
    }
    if (withTrailingLines && !options.extraHeaderLine.empty())
        list = AppendLine(list, options.extraHeaderLine.c_str());
    if (withTrailingLines && !options.lastHeaderLine.empty())
        list = AppendLine(list, options.lastHeaderLine.c_str());
    return list;
}

curl_slist* MakePostHeaders(const CFetchOptions& options)
{
    curl_slist* list = nullptr;
    for (const char* line : kFixedHeaderLines)
        list = AppendLine(list, line);
    for (const std::string& line : options.headerLines)
        list = AppendLine(list, line.c_str());
    if (!options.extraHeaderLine.empty())
        list = AppendLine(list, options.extraHeaderLine.c_str());
    if (!options.lastHeaderLine.empty())
        list = AppendLine(list, options.lastHeaderLine.c_str());
    return list;
}

void ReleaseHeaders(CURL* curl, curl_slist* list)
{
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl_slist_free_all(list);
}

// Verification stays on unless the caller opts out. Both values are set every time, so an
// opt-out of an earlier request on the same handle never carries over.
void ApplyTlsRule(CURL* curl, bool skipTlsVerify)
{
#ifdef _WIN32
    // OpenSSL finds no CA bundle on Windows; the system store holds the roots there.
    curl_easy_setopt(curl, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_NATIVE_CA));
#endif
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, skipTlsVerify ? 0L : 1L);
    curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, skipTlsVerify ? 0L : 2L);
}

void DisableGlobalDnsCache(CURL* curl)
{
    // A no-op since libcurl 7.62, kept so older libcurl builds behave alike; 7.87+ warns.
#ifdef CURL_IGNORE_DEPRECATION
    CURL_IGNORE_DEPRECATION(curl_easy_setopt(curl, CURLOPT_DNS_USE_GLOBAL_CACHE, 0L);)
#else
    curl_easy_setopt(curl, CURLOPT_DNS_USE_GLOBAL_CACHE, 0L);
#endif
}

// libcurl follows redirects without limit by default, so a redirect loop would run until the
// total time-out; ten hops are plenty for any site that is not going round in circles.
void LimitRedirects(CURL* curl)
{
    curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
}

void WatchForAbort(CURL* curl, CPageFetcher* fetcher)
{
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &CheckAbort);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, fetcher);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
}

// Appends one line per cookie of the handle's engine; false when libcurl has no list.
bool AppendCookieLines(CURL* curl, std::string& target)
{
    curl_slist* cookies = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_COOKIELIST, &cookies) != CURLE_OK)
        return false;
    for (const curl_slist* item = cookies; item; item = item->next) {
        target += item->data;
        target += "\r\n";
    }
    curl_slist_free_all(cookies);
    return true;
}

void ReadTransferInfo(CPageFetcher& fetcher)
{
    CURL* curl = fetcher.curl;
    curl_easy_getinfo(curl, CURLINFO_NAMELOOKUP_TIME, &fetcher.nameLookupTime);
    curl_easy_getinfo(curl, CURLINFO_CONNECT_TIME, &fetcher.connectTime);
    curl_easy_getinfo(curl, CURLINFO_PRETRANSFER_TIME, &fetcher.preTransferTime);
    curl_easy_getinfo(curl, CURLINFO_STARTTRANSFER_TIME, &fetcher.startTransferTime);
    curl_easy_getinfo(curl, CURLINFO_TOTAL_TIME, &fetcher.totalTime);
}

void ReadPrimaryIp(CPageFetcher& fetcher)
{
    char* ip = nullptr;
    if (curl_easy_getinfo(fetcher.curl, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK && ip)
        fetcher.primaryIp = ip;
}

// A transfer that libcurl reports as failed is a failure even if part of a body arrived:
// a cut-off page must not pass for the page.
bool Succeeded(const std::string& reply, int curlCode, long responseCode)
{
    return curlCode == CURLE_OK && (!reply.empty() || responseCode == 200);
}

void CopyBody(std::string& reply, const std::string& body)
{
    if (&reply != &body)
        reply = body;
}

// The cookie pre-request: its cookies stay in the handle's engine and are also returned.
void RunPrimeRequest(CPageFetcher& fetcher, std::string& primedCookies)
{
    CURL* curl = fetcher.curl;
    const CFetchOptions& options = fetcher.options;
    curl_slist* headers = MakeGetHeaders(options, false);
    curl_easy_setopt(curl, CURLOPT_URL, options.primeUrl.c_str());
    ApplyTlsRule(curl, options.skipTlsVerify);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.totalTimeout);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, 10L);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_HEADER, 1L);
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &fetcher);
    curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.c_str());
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, options.followLocation);
    LimitRedirects(curl);
    // Signals are no way to time out on a thread of a GUI program.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    WatchForAbort(curl, &fetcher);

    fetcher.body.clear();
    curl_easy_perform(curl);
    AppendCookieLines(curl, primedCookies);
    ReleaseHeaders(curl, headers);
}

} // namespace

CFetchOptions::CFetchOptions()
    : wantHeaders(false),
      wantBody(true),
      disableGlobalDnsCache(true),
      useCookieJar(false),
      useCookieList(false),
      skipTlsVerify(false),
      followLocation(1),
      cookieJarFile("CKTemp.x"),
      totalTimeout(60),
      connectTimeout(30),
      primeCookies(false),
      resetBeforeGet(true),
      userAgent("Mozilla/5.0 (Windows NT 6.1; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
                "Chrome/36.0.1985.143 Safari/537.36")
{
}

CFetchOptions::~CFetchOptions() = default;

CPageFetcher::CPageFetcher()
    : curlCode(CURLE_OK),
      responseCode(0),
      nameLookupTime(0.0),
      connectTime(0.0),
      startTransferTime(0.0),
      preTransferTime(0.0),
      totalTime(0.0),
      primaryIp("0.0.0.0"),
      redirectCount(0),
      curl(nullptr)
{
}

CPageFetcher::~CPageFetcher()
{
    // With useCookieJar on, this is when libcurl writes the jar file.
    if (curl)
        curl_easy_cleanup(curl);
}

void CPageFetcher::InitHandle()
{
    curl = curl_easy_init();
}

bool CPageFetcher::GetPage(std::string& reply, const std::string& url, long connectSeconds)
{
    if (!curl) {
        reply = kInitFailedText;
        return false;
    }
    if (options.resetBeforeGet)
        curl_easy_reset(curl);

    std::string primedCookies;
    if (options.primeCookies && !options.primeUrl.empty())
        RunPrimeRequest(*this, primedCookies);

    curl_slist* headers = MakeGetHeaders(options, true);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");
    if (connectSeconds != 0) {
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.totalTimeout);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, connectSeconds);
    }
    if (!options.proxy.empty())
        curl_easy_setopt(curl, CURLOPT_PROXY, options.proxy.c_str());
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    ApplyTlsRule(curl, options.skipTlsVerify);
    if (options.wantHeaders) {
        curl_easy_setopt(curl, CURLOPT_HEADER, 1L);
        curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, &WriteHeader);
        curl_easy_setopt(curl, CURLOPT_HEADERDATA, this);
    } else {
        curl_easy_setopt(curl, CURLOPT_HEADER, 0L);
    }
    if (options.disableGlobalDnsCache)
        DisableGlobalDnsCache(curl);
    if (options.wantBody) {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 0L);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    } else {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.c_str());
    if (options.useCookieList) {
        if (!options.cookieList.empty())
            curl_easy_setopt(curl, CURLOPT_COOKIELIST, options.cookieList.c_str());
        else
            curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
    }
    if (!primedCookies.empty())
        curl_easy_setopt(curl, CURLOPT_COOKIELIST, primedCookies.c_str());
    if (!options.cookie.empty())
        curl_easy_setopt(curl, CURLOPT_COOKIE, options.cookie.c_str());
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, options.followLocation);
    LimitRedirects(curl);
    if (options.useCookieJar) {
        curl_easy_setopt(curl, CURLOPT_COOKIEFILE, options.cookieJarFile.c_str());
        curl_easy_setopt(curl, CURLOPT_COOKIEJAR, options.cookieJarFile.c_str());
    }
    if (!options.interfaceName.empty())
        curl_easy_setopt(curl, CURLOPT_INTERFACE, options.interfaceName.c_str());
    WatchForAbort(curl, this);

    body.clear();
    // Only the last page's headers are kept, so a long-lived fetcher does not grow.
    headerText.clear();
    curlCode = curl_easy_perform(curl);
    errorText = curl_easy_strerror(static_cast<CURLcode>(curlCode));
    ReleaseHeaders(curl, headers);

    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &responseCode);
    CopyBody(reply, body);
    ReadTransferInfo(*this);
    std::string cookies;
    if (AppendCookieLines(curl, cookies))
        options.cookieList = cookies;
    char* lastUrl = nullptr;
    curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &lastUrl);
    effectiveUrl = lastUrl ? lastUrl : "";
    curl_easy_getinfo(curl, CURLINFO_REDIRECT_COUNT, &redirectCount);
    ReadPrimaryIp(*this);

    if (Succeeded(reply, curlCode, responseCode))
        return true;
    char text[260] = {};
    FormatText(text, sizeof text, "Down page Failed Error Code is %d=%s",
               static_cast<int>(responseCode), errorText.c_str());
    reply = text;
    return false;
}

bool CPageFetcher::PostPage(std::string& reply, const std::string& url,
                            const std::string& postFields, int applyTimeouts)
{
    if (!curl) {
        reply = kInitFailedText;
        return false;
    }
    curl_easy_reset(curl);

    curl_slist* headers = MakePostHeaders(options);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_ACCEPT_ENCODING, "gzip");
    if (applyTimeouts != 0) {
        curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.totalTimeout);
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeout);
    }
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    ApplyTlsRule(curl, options.skipTlsVerify);
    if (options.wantHeaders)
        curl_easy_setopt(curl, CURLOPT_HEADER, 1L);
    if (options.disableGlobalDnsCache)
        DisableGlobalDnsCache(curl);
    if (options.wantBody) {
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &WriteBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
    } else {
        curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(curl, CURLOPT_USERAGENT, options.userAgent.c_str());
    if (options.useCookieJar) {
        curl_easy_setopt(curl, CURLOPT_COOKIEFILE, options.cookieJarFile.c_str());
        curl_easy_setopt(curl, CURLOPT_COOKIEJAR, options.cookieJarFile.c_str());
    }
    if (!options.cookie.empty())
        curl_easy_setopt(curl, CURLOPT_COOKIE, options.cookie.c_str());
    curl_easy_setopt(curl, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(curl, CURLOPT_FRESH_CONNECT, 1L);
    curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
    LimitRedirects(curl);
    // A copy: a later GetPage without reset sends these fields again, long after the
    // caller's text may be gone.
    curl_easy_setopt(curl, CURLOPT_COPYPOSTFIELDS, postFields.c_str());
    if (!options.interfaceName.empty())
        curl_easy_setopt(curl, CURLOPT_INTERFACE, options.interfaceName.c_str());
    WatchForAbort(curl, this);

    body.clear();
    curlCode = curl_easy_perform(curl);
    ReleaseHeaders(curl, headers);

    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &responseCode);
    CopyBody(reply, body);
    ReadTransferInfo(*this);
    ReadPrimaryIp(*this);

    if (Succeeded(reply, curlCode, responseCode))
        return true;
    char text[260] = {};
    FormatText(text, sizeof text, "Down page Failed Error Code is %d",
               static_cast<int>(responseCode));
    reply = text;
    return false;
}

size_t CPageFetcher::OnBodyData(const char* data, size_t size, size_t count,
                                CPageFetcher* fetcher)
{
    const size_t total = size * count;
    // Any count other than the one delivered makes libcurl abort with CURLE_WRITE_ERROR.
    return AppendBeforeZero(fetcher->body, data, total) ? total : 0;
}

size_t CPageFetcher::OnHeaderData(const char* data, size_t size, size_t count,
                                  CPageFetcher* fetcher)
{
    const size_t total = size * count;
    return AppendBeforeZero(fetcher->headerText, data, total) ? total : 0;
}

void CPageFetcher::ToLower(std::string& text)
{
    for (char& byte : text)
        byte = static_cast<char>(std::tolower(static_cast<unsigned char>(byte)));
}
