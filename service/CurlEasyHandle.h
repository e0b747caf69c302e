// Owns one libcurl easy handle for the length of one transfer; move-only, so a handle's life is
// visible in one scope and it is always cleaned up.
#pragma once

#include <curl/curl.h>

class CurlEasyHandle
{
public:
    CurlEasyHandle();  // curl_easy_init; may hold no handle if libcurl refuses
    ~CurlEasyHandle();

    CurlEasyHandle(CurlEasyHandle&& other) noexcept;
    CurlEasyHandle& operator=(CurlEasyHandle&& other) noexcept;
    CurlEasyHandle(const CurlEasyHandle&) = delete;
    CurlEasyHandle& operator=(const CurlEasyHandle&) = delete;

    CURL* Get() const { return m_hCurl; }
    explicit operator bool() const { return m_hCurl != nullptr; }

private:
    CURL* m_hCurl;
};
