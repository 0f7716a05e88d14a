#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Request options of a CPageFetcher; callers change them between requests.
class CFetchOptions {
public:
    CFetchOptions();
    ~CFetchOptions();

    bool wantHeaders;           // response header lines also precede the body
    bool wantBody;              // false: a header-only request
    bool disableGlobalDnsCache;
    bool useCookieJar;          // read and write cookieJarFile
    bool useCookieList;         // GetPage hands cookieList to the handle and reads it back
    bool skipTlsVerify;         // no certificate or host check, whatever the address
    long followLocation;        // CURLOPT_FOLLOWLOCATION of GetPage
    std::string lastHeaderLine;
    std::string cookie;         // CURLOPT_COOKIE when non-empty
    std::string cookieJarFile;
    std::string cookieList;     // one cookie-file line per cookie, each ended by "\r\n"
    std::string interfaceName;
    std::vector<std::string> headerLines; // extra request header lines, "Name: value"
    std::string extraHeaderLine;
    long totalTimeout;          // seconds
    long connectTimeout;        // seconds, PostPage
    std::string primeUrl;       // fetched first, for its cookies, when primeCookies is on
    bool primeCookies;
    bool resetBeforeGet;
    std::string proxy;          // GetPage only
    std::string userAgent;
};

// One libcurl easy handle with a browser-like identity. Failures never throw: the reply
// then holds a failure text and the operation returns false.
class CPageFetcher {
public:
    // A body beyond this many bytes aborts its transfer, which then counts as failed.
    static constexpr size_t kMaxBodyBytes = 16u * 1024u * 1024u;

    CPageFetcher();
    ~CPageFetcher();
    CPageFetcher(const CPageFetcher&) = delete;
    CPageFetcher& operator=(const CPageFetcher&) = delete;

    void InitHandle();
    bool GetPage(std::string& reply, const std::string& url, long connectSeconds);
    bool PostPage(std::string& reply, const std::string& url, const std::string& postFields,
                  int applyTimeouts);

    static size_t OnBodyData(const char* data, size_t size, size_t count, CPageFetcher* fetcher);
    static size_t OnHeaderData(const char* data, size_t size, size_t count, CPageFetcher* fetcher);
    static void ToLower(std::string& text);

    int curlCode;
    long responseCode;
    double nameLookupTime;
    double connectTime;
    double startTransferTime;
    double preTransferTime;
    double totalTime;
    std::string errorText;
    std::string headerText;
    std::string body;
    std::string primaryIp;
    std::string effectiveUrl;
    long redirectCount;
    CFetchOptions options;
    CURL* curl;

    // Asked while a transfer runs (about once a second at least); returning true abandons
    // the transfer, which then counts as failed. Lets the owner stop without waiting for
    // a silent site.
    std::function<bool()> abortCheck;
};
