#pragma once

#include <string>

// Reading the tracking site's replies, kept apart from the thread so each piece can be
// exercised without a network.

// Builds the "Cookie: " header line from a cookie list as the page fetcher keeps it (one
// cookie-file line per cookie, each ended by "\r\n"): every cookie once, sorted by name,
// as "Cookie: a=1;b=2;". A line that is not a seven-field cookie line is ignored.
std::string BuildCookieHeader(const std::string& cookieList);

// What a courier-detection reply says.
struct CourierDetection {
    bool usable = false;   // a courier object was found (an array's first element, or key "0")
    std::string exname;    // the courier's name, empty when missing or not a string
};

// Reads a courier-detection reply up to its first zero byte.
CourierDetection ReadCourierDetection(const std::string& reply);

// The courier-info address for one number: base, template, the three placeholders filled.
std::string MakeCourierInfoAddress(const std::string& base, const std::string& number,
                                   const std::string& exname, const std::string& token);
