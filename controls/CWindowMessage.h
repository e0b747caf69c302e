// The program's custom window messages, carried as one posted QEvent type, and the
// command-target seam through which notify statics report their clicks.
#pragma once

#include <QEvent>
#include <cstdint>

using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

constexpr unsigned WM_APP = 0x8000;
constexpr unsigned WM_INSTALLER_ERROR = WM_APP + 2;     // posted: download or version query failed
constexpr unsigned WM_DOWNLOAD_FINISHED = WM_APP + 13;  // posted: installer file written
constexpr unsigned WM_DOWNLOAD_START = WM_APP + 14;     // posted to the worker thread

constexpr WPARAM MAKEWPARAM(unsigned low, unsigned high)
{
    return static_cast<WPARAM>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16));
}
constexpr unsigned LOWORD(WPARAM w)
{
    return static_cast<unsigned>(w & 0xFFFFu);
}
constexpr unsigned HIWORD(WPARAM w)
{
    return static_cast<unsigned>((w >> 16) & 0xFFFFu);
}

// One posted message: (message, wParam, lParam), delivered with QCoreApplication::postEvent.
class CWindowMessage : public QEvent
{
public:
    CWindowMessage(unsigned message, WPARAM wParam = 0, LPARAM lParam = 0)
        : QEvent(eventType()), m_nMessage(message), m_wParam(wParam), m_lParam(lParam)
    {
    }

    static QEvent::Type eventType()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }

    unsigned m_nMessage;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

// A window that takes command notifications from its notify statics.
class CCommandTarget
{
public:
    virtual bool OnCommand(WPARAM wParam, LPARAM lParam) = 0;

protected:
    ~CCommandTarget() = default;
};
