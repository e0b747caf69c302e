// The installer window's skin and layout, done once before the window is first shown.
#include <QImage>
#include <QLabel>

#include "CMyProgressCtrl.h"
#include "COnlineInstallerDlg.h"
#include "CPictureEx.h"
#include "CPngStatic.h"
#include "MyEditBrowseCtrl.h"
#include "ResourceIds.h"
#include "ResourceImages.h"
#include "WindowLayout.h"

namespace {

#ifdef _WIN32
const QString kDefaultFolder = QStringLiteral("C:\\Program Files\\Vantora");
#else
const QString kDefaultFolder = QStringLiteral("/opt/Vantora");
#endif

// Gives an image static its picture and its picture's size, so nothing of it is cut off.
void SetPicture(CPngStatic* control, const QImage* image)
{
    if (!control)
        return;
    control->m_pImage = image;
    if (image && !image->isNull())
        control->resize(image->size());
}

void Place(QWidget* control, const QRect& rect)
{
    if (control) {
        control->setGeometry(rect);
        control->update();
    }
}

QSize SizeOf(const QWidget* control)
{
    return control ? control->size() : QSize(0, 0);
}

}  // namespace

void COnlineInstallerDlg::AssembleSkin()
{
    // 1. The background bitmap, tiled from the top-left corner.
    m_background = QPixmap(QStringLiteral(":/BITMAP/%1").arg(res::IDB_BACKGROUND));
    update();

    // 2. Logo, close and minimise glyphs: onto the banner, above the animation, their clicks
    //    to the banner.
    const std::pair<CPngStatic*, unsigned> onBanner[] = {{m_pngLogo, res::IDP_LOGO},
                                                         {m_pngClose, res::IDP_CLOSE},
                                                         {m_pngMinimize, res::IDP_MINIMIZE}};
    for (const auto& [control, picture] : onBanner) {
        SetPicture(control, KeepImage(LoadPngResourceImage(picture)));
        if (control && m_picBanner) {
            const QPoint at = control->pos();
            control->setParent(m_picBanner);
            control->move(at);
            control->show();
        }
    }

    // 3. Download button, install button and agreement box stay on the window.
    const QImage* download = KeepImage(LoadPngResourceImage(res::IDP_DOWNLOAD));
    m_downloadImageSize = download ? download->size() : QSize(0, 0);
    SetPicture(m_pngDownload, download);
    SetPicture(m_pngInstall, KeepImage(LoadPngResourceImage(res::IDP_INSTALL)));
    SetPicture(m_pngAgree, KeepImage(LoadPngResourceImage(res::IDP_AGREE_TICKED)));

    // 4. The folder glyph on the browse button.  5. The default folder.
    if (m_editFolder) {
        m_editFolder->m_pButtonImage = KeepImage(LoadPngResourceImage(res::IDP_FOLDER));
        m_editFolder->setText(kDefaultFolder);
    }

    // 6. The banner animation; a banner that fails to load stays empty.
    if (m_picBanner) {
        m_picBanner->LoadFromResource("GIF", res::IDG_BANNER);
        m_picBanner->StartAnimation();
    }
}

void COnlineInstallerDlg::LayOutWindow()
{
    // 1. Every position follows from the banner picture's width.
    WindowLayoutInput in;
    in.bannerWidth = m_picBanner ? m_picBanner->m_size.width() : 0;
    in.downloadImage = m_downloadImageSize;
    in.downloading = SizeOf(m_stcDownloading);
    in.percent = SizeOf(m_stcPercent);
    in.install = SizeOf(m_pngInstall);
    in.folder = SizeOf(m_editFolder);
    in.agree = SizeOf(m_pngAgree);
    in.agreeText = SizeOf(m_stcAgreeText);
    in.licenseLink = SizeOf(m_stcLicenseLink);
    in.networkHint = SizeOf(m_stcNetworkHint);
    const WindowLayout layout = ComputeWindowLayout(in);

    // 2. The window, at the screen's top-left corner; its size never changes afterwards.
    move(layout.window.topLeft());
    setFixedSize(layout.window.size());

    // 3. The controls, in this order.
    Place(m_pngClose, layout.close);
    Place(m_pngMinimize, layout.minimize);
    Place(m_pngDownload, layout.download);
    Place(m_progress, layout.progress);
    Place(m_stcDownloading, layout.downloading);
    Place(m_stcPercent, layout.percent);
    Place(m_pngInstall, layout.install);
    Place(m_editFolder, layout.folder);
    Place(m_pngAgree, layout.agree);
    Place(m_stcAgreeText, layout.agreeText);
    Place(m_stcLicenseLink, layout.licenseLink);
    Place(m_stcNetworkHint, layout.networkHint);

    // 4. What only the download shows (1037 is never shown).
    for (QWidget* control :
         {static_cast<QWidget*>(m_stcDownloading), static_cast<QWidget*>(m_stcPercent),
          static_cast<QWidget*>(m_progress), static_cast<QWidget*>(m_pngDownload),
          static_cast<QWidget*>(m_stcNetworkHint)})
        if (control)
            control->hide();

    // 5. The progress bar: 0 to 100, at 0, drawn from pictures 146 and 145.
    if (m_progress) {
        m_progress->SetRange(0, 100);
        m_progress->SetPos(0);
        m_progress->SetImages(res::IDP_PROGRESS_BAR, res::IDP_PROGRESS_TRACK, "PNG");
    }
}
