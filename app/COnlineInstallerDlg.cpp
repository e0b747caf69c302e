// The installer window's core: children, start-up order, command dispatch, the window
// messages, closing, Enter and Esc, and dragging.
#include "COnlineInstallerDlg.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QImage>
#include <QKeyEvent>
#include <QPainter>
#include <QWindow>

#include "CMyProgressCtrl.h"
#include "CPictureEx.h"
#include "CPngStatic.h"
#include "CTextStatic.h"
#include "DialogTemplate.h"
#include "MachineIdentity.h"
#include "MyEditBrowseCtrl.h"
#include "ResourceIds.h"

namespace {

const QString kCloseQuestion = QStringLiteral("确定要退出吗?");
const QString kCloseCaption = QStringLiteral("Vantora2.0安装");
const QString kDownloadError = QStringLiteral("下载错误！");

template <class T>
T* Bound(const std::map<int, QWidget*>& controls, int id)
{
    const auto found = controls.find(id);
    return found == controls.end() ? nullptr : qobject_cast<T*>(found->second);
}

}  // namespace

COnlineInstallerDlg::COnlineInstallerDlg(QWidget* parent) : CInstallerWindowBase(parent)
{
    const dlg::DialogTemplate& tmpl = dlg::InstallerDialogTemplate();
    // A popup without caption, border or system menu, with a task-bar button of its own.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFont(dlg::DialogFont());
    resize(dlg::DialogUnitsToPixels(QRect(QPoint(0, 0), tmpl.size), dlg::DialogBaseUnits(font()))
               .size());
    m_hIcon = QIcon(QStringLiteral(":/ICON/%1").arg(res::IDR_MAINFRAME));
    DoDataExchange();
}

COnlineInstallerDlg::~COnlineInstallerDlg() = default;

// Creates the children of template 102 and binds the window's members to them.
void COnlineInstallerDlg::DoDataExchange()
{
    const QSize base = dlg::DialogBaseUnits(font());
    for (const dlg::DialogItem& item : dlg::InstallerDialogTemplate().items) {
        const bool notify = (item.style & dlg::SS_NOTIFY) != 0;
        QWidget* control = nullptr;
        switch (item.id) {
            case res::IDC_PROGRESS:
                control = new CMyProgressCtrl(item.id, this);
                break;
            case res::IDC_BANNER:
                control = new CPictureEx(item.id, this);
                break;
            case res::IDC_LOGO:
            case res::IDC_MINIMIZE:
            case res::IDC_CLOSE:
            case res::IDC_DOWNLOAD:
            case res::IDC_INSTALL:
            case res::IDC_AGREE:
                control = new CPngStatic(item.id, notify, this);
                break;
            case res::IDC_FOLDER:
                control = new MyEditBrowseCtrl(item.id, this);
                break;
            default:
                control = new CTextStatic(item.id, QString::fromUtf8(item.text), notify, this);
                break;
        }
        control->setObjectName(QString::number(item.id));
        control->setGeometry(dlg::DialogUnitsToPixels(item.rect, base));
        // Only the template's tab stop takes the keyboard focus.
        if ((item.style & dlg::WS_TABSTOP) == 0)
            control->setFocusPolicy(Qt::NoFocus);
        control->setVisible((item.style & dlg::WS_VISIBLE) != 0);
        m_controls[item.id] = control;
    }

    m_stcDownloading = Bound<QLabel>(m_controls, res::IDC_DOWNLOADING);
    m_stcPercent = Bound<QLabel>(m_controls, res::IDC_PERCENT);
    m_progress = Bound<CMyProgressCtrl>(m_controls, res::IDC_PROGRESS);
    m_picBanner = Bound<CPictureEx>(m_controls, res::IDC_BANNER);
    m_pngLogo = Bound<CPngStatic>(m_controls, res::IDC_LOGO);
    m_pngClose = Bound<CPngStatic>(m_controls, res::IDC_CLOSE);
    m_pngMinimize = Bound<CPngStatic>(m_controls, res::IDC_MINIMIZE);
    m_pngDownload = Bound<CPngStatic>(m_controls, res::IDC_DOWNLOAD);
    m_pngInstall = Bound<CPngStatic>(m_controls, res::IDC_INSTALL);
    m_editFolder = Bound<MyEditBrowseCtrl>(m_controls, res::IDC_FOLDER);
    m_pngAgree = Bound<CPngStatic>(m_controls, res::IDC_AGREE);
    m_stcAgreeText = Bound<QLabel>(m_controls, res::IDC_AGREE_TEXT);
    m_stcLicenseLink = Bound<QLabel>(m_controls, res::IDC_LICENSE_LINK);
    m_stcNetworkHint = Bound<QLabel>(m_controls, res::IDC_NETWORK_HINT);

    // Texts are drawn over the background in the default colour; the link in its own.
    if (m_stcLicenseLink) {
        QPalette palette = m_stcLicenseLink->palette();
        palette.setColor(QPalette::WindowText, QColor(93, 182, 234));
        m_stcLicenseLink->setPalette(palette);
    }
}

QWidget* COnlineInstallerDlg::Control(int id) const
{
    const auto found = m_controls.find(id);
    return found == m_controls.end() ? nullptr : found->second;
}

bool COnlineInstallerDlg::OnInitDialog()
{
    if (m_bInitialised)
        return !m_bEnded;
    m_bInitialised = true;

    // 1. The children exist and are bound (constructor, DoDataExchange).
    // 2. The window's icon.
    setWindowIcon(m_hIcon);
    // 3. The adapter address the usage events carry.
    m_strMacAddress = GetMacAddress();
    // 4. Skin and layout.
    AssembleSkin();
    LayOutWindow();
    // 5. The version query decides whether the window goes on.
    if (!QueryInstallerVersion())
        return false;
    if (m_editFolder)
        m_editFolder->setFocus();
    return true;
}

int COnlineInstallerDlg::DoModal()
{
    if (!OnInitDialog())
        return result();
    return exec();
}

bool COnlineInstallerDlg::OnCommand(WPARAM wParam, LPARAM /*lParam*/)
{
    // Only clicks (notification 0) are commands of this window; there is nothing else to
    // hand other notifications to.
    if (HIWORD(wParam) != 0)
        return false;
    switch (LOWORD(wParam)) {
        case res::IDC_INSTALL:
            InstallCommand();
            break;
        case res::IDC_AGREE:
            AgreementToggle();
            break;
        case res::IDC_LICENSE_LINK:
            LicenceDisplay();
            break;
        default:
            // Every other command, OK and Cancel among them, is consumed: nothing but done(IDCLOSE)
            // ends this window.
            break;
    }
    return true;
}

void COnlineInstallerDlg::done(int result)
{
    m_bEnded = true;
    m_bManualDrag = false;
    CInstallerWindowBase::done(result);
}

void COnlineInstallerDlg::reject() {}

bool COnlineInstallerDlg::event(QEvent* event)
{
    if (event->type() == CWindowMessage::eventType()) {
        const auto* message = static_cast<CWindowMessage*>(event);
        switch (message->m_nMessage) {
            case WM_INSTALLER_ERROR:
                OnInstallerError(message->m_wParam, message->m_lParam);
                return true;
            case WM_DOWNLOAD_FINISHED:
                // Once the window has ended, a late message of a worker has nothing to act on.
                if (!m_bEnded)
                    OnDownloadFinished(message->m_wParam, message->m_lParam);
                return true;
            default:
                return true;
        }
    }
    return CInstallerWindowBase::event(event);
}

long COnlineInstallerDlg::OnInstallerError(WPARAM, LPARAM)
{
    // A window that has ended is gone for its messages.
    if (m_bEnded)
        return 0;
    MessageBox(kDownloadError, QString(), QMessageBox::Ok);
    done(IDCLOSE);
    return 0;
}

QMessageBox::StandardButton COnlineInstallerDlg::MessageBox(const QString& text,
                                                            const QString& caption,
                                                            QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::NoIcon,
                    caption.isEmpty() ? QCoreApplication::applicationName() : caption, text,
                    buttons, this);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

void COnlineInstallerDlg::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (!m_background.isNull())
        painter.drawTiledPixmap(rect(), m_background);
}

void COnlineInstallerDlg::showEvent(QShowEvent* event)
{
    CInstallerWindowBase::showEvent(event);
    // The window comes to the foreground when it appears.
    raise();
    activateWindow();
}

void COnlineInstallerDlg::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            event->accept();
            return;
        default:
            CInstallerWindowBase::keyPressEvent(event);
    }
}

void COnlineInstallerDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (m_bEnded) {
        event->accept();
        return;
    }
    // A second close request while the question is open must not stack another question.
    if (m_bAskingToClose)
        return;
    m_bAskingToClose = true;
    const bool yes = MessageBox(kCloseQuestion, kCloseCaption,
                                QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    m_bAskingToClose = false;
    if (yes && !m_bEnded) {
        done(IDCLOSE);
        event->accept();
    }
}

// Presses that reach the window itself (background, banner, logo, plain texts) move it, as if
// it had a caption. Controls that take the mouse keep their presses.
void COnlineInstallerDlg::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        CInstallerWindowBase::mousePressEvent(event);
        return;
    }
    event->accept();
    if (QWindow* window = windowHandle(); window && window->startSystemMove())
        return;
    // The platform moves nothing itself (no window manager, offscreen): follow the mouse here.
    m_bManualDrag = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void COnlineInstallerDlg::mouseMoveEvent(QMouseEvent* event)
{
    if (m_bManualDrag && (event->buttons() & Qt::LeftButton)) {
        move(event->globalPosition().toPoint() - m_dragOffset);
        event->accept();
        return;
    }
    CInstallerWindowBase::mouseMoveEvent(event);
}

void COnlineInstallerDlg::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_bManualDrag = false;
    CInstallerWindowBase::mouseReleaseEvent(event);
}

const QImage* COnlineInstallerDlg::KeepImage(QImage* image)
{
    m_images.emplace_back(image);
    return image;
}
