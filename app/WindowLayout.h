// The installer window's placement arithmetic: every position and size follows from the
// banner picture's width and from the sizes the controls have when they are placed.
#pragma once

#include <QRect>
#include <QSize>

struct WindowLayoutInput
{
    int bannerWidth = 0;        // W: the banner picture's width
    QSize downloadImage{0, 0};  // picture 155; 0 x 0 when it did not load
    QSize downloading{0, 0};    // 1008
    QSize percent{0, 0};        // 1009
    QSize install{0, 0};        // 1038
    QSize folder{0, 0};         // 1041
    QSize agree{0, 0};          // 1042
    QSize agreeText{0, 0};      // 1043
    QSize licenseLink{0, 0};    // 1044
    QSize networkHint{0, 0};    // 1050
};

struct WindowLayout
{
    int W = 0, H = 0, B = 0;
    QRect window;       // on the screen
    QRect close;        // 1036, on the banner
    QRect minimize;     // 1035, on the banner
    QRect download;     // 1037
    QRect progress;     // 1010
    QRect downloading;  // 1008
    QRect percent;      // 1009
    QRect install;      // 1038
    QRect folder;       // 1041
    QRect agree;        // 1042
    QRect agreeText;    // 1043
    QRect licenseLink;  // 1044
    QRect networkHint;  // 1050
};

WindowLayout ComputeWindowLayout(const WindowLayoutInput& in);
