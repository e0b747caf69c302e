#include "CurlEasyHandle.h"

#include <utility>

CurlEasyHandle::CurlEasyHandle() : m_hCurl(curl_easy_init()) {}

CurlEasyHandle::~CurlEasyHandle()
{
    if (m_hCurl != nullptr) {
        curl_easy_cleanup(m_hCurl);
    }
}

CurlEasyHandle::CurlEasyHandle(CurlEasyHandle&& other) noexcept
    : m_hCurl(std::exchange(other.m_hCurl, nullptr))
{
}

CurlEasyHandle& CurlEasyHandle::operator=(CurlEasyHandle&& other) noexcept
{
    if (this != &other) {
        if (m_hCurl != nullptr) {
            curl_easy_cleanup(m_hCurl);
        }
        m_hCurl = std::exchange(other.m_hCurl, nullptr);
    }
    return *this;
}
