#include "device_list_dlg.h"

#include "address_rules.h"
#include "device_line.h"
#include "dialog_units.h"
#include "program_icon.h"
#include "program_messages.h"
#include "resource_ids.h"
#include "set_address_dlg.h"
#include "web_page.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QTimer>
#include <QVBoxLayout>

namespace {

constexpr int ROW_INDEX_ROLE = Qt::UserRole;

void OpenInBrowser(const QUrl& url)
{
    QDesktopServices::openUrl(url);
}

bool HasEqualWidths(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(QLatin1Char('0'));
    for (QChar c : QStringLiteral(" .-ABCDEFWi"))
        if (metrics.horizontalAdvance(c) != width)
            return false;
    return true;
}

// A font whose characters all have one width, so that the list's columns line up.
QFont ListFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono", "Courier New"}) {
        if (HasEqualWidths(font))
            break;
        font.setFamily(QString::fromLatin1(family));
    }
    font.setStyleHint(QFont::TypeWriter);
    return font;
}

bool IsEnterKey(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

CDeviceListDlg::CDeviceListDlg(const DiscoveryEndpoints& endpoints, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_hIcon(LoadProgramIcon()),
      m_socket(endpoints),
      m_openWebPage(OpenInBrowser)
{
    setObjectName(QStringLiteral("deviceListDialog"));
    setWindowTitle(QStringLiteral("Corvane"));
    // A fixed-pitch font throughout, so the list's columns stand under the headers.
    setFont(ListFont());

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    auto* menuBar = new QMenuBar(this);
    menuBar->setFont(QApplication::font());
    BuildMenu(menuBar);
    layout->setMenuBar(menuBar);
    auto* client = new QWidget(this);
    BuildControls(client);
    layout->addWidget(client);

    m_scanWindowTimer = new QTimer(this);
    m_scanWindowTimer->setObjectName(QStringLiteral("scanWindowTimer"));
    m_scanWindowTimer->setSingleShot(true);
    m_scanWindowTimer->setInterval(TIMER_INTERVAL_MS);
    connect(m_scanWindowTimer, &QTimer::timeout, this, [this] { OnTimer(SCAN_WINDOW_TIMER); });
    m_tickerTimer = new QTimer(this);
    m_tickerTimer->setObjectName(QStringLiteral("tickerTimer"));
    m_tickerTimer->setInterval(TIMER_INTERVAL_MS);
    connect(m_tickerTimer, &QTimer::timeout, this, [this] { OnTimer(TICKER_TIMER); });

    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { OpenDeviceWebPage(); });
    qApp->installEventFilter(this);
}

CDeviceListDlg::~CDeviceListDlg()
{
    qApp->removeEventFilter(this);
}

void CDeviceListDlg::BuildMenu(QMenuBar* menuBar)
{
    auto addCommand = [this](QMenu* menu, const char* text, int command) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { OnCommand(command); });
    };
    // The key names after the tab are shown at the right; the keys themselves are
    // served by the key handling below, not by shortcuts.
    QMenu* view = menuBar->addMenu(QStringLiteral("&View"));
    addCommand(view, "&Refresh\tF5", ID_VIEW_REFRESH);
    view->addSeparator();
    addCommand(view, "E&xit\tAlt+F4", ID_VIEW_EXIT);
    QMenu* config = menuBar->addMenu(QStringLiteral("&Config"));
    addCommand(config, "&IP Address\tEnter", ID_CONFIG_IP_ADDRESS);
    addCommand(config, "&Device Settings\tAlt+Enter", ID_CONFIG_DEVICE_SETTINGS);
}

void CDeviceListDlg::BuildControls(QWidget* client)
{
    const CDialogUnits du(font());
    client->setFixedSize(du.Size(258, 153));

    m_list = new QListWidget(client);
    m_list->setObjectName(QStringLiteral("deviceList"));
    m_list->setProperty("controlId", IDC_DEVICE_LIST);
    m_list->setGeometry(du.Rect(6, 14, 245, 122));
    m_list->setSortingEnabled(true);
    m_list->sortItems(Qt::AscendingOrder);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    const struct { const char* text; int x, y, width, height; } labels[] = {
        {"IP Address", 9, 4, 41, 8},   {"Subnet Mask", 72, 4, 45, 8},       {"MAC Address", 138, 4, 45, 8},
        {"Device ID", 210, 4, 37, 8},  {"Devices detected", 164, 140, 65, 8},
    };
    for (const auto& l : labels) {
        auto* label = new QLabel(QString::fromUtf8(l.text), client);
        // Dialog templates let static text run past its box; so do we.
        QRect box = du.Rect(l.x, l.y, l.width, l.height);
        box.setWidth(std::max(box.width(), label->sizeHint().width()));
        label->setGeometry(box);
    }

    m_countField = new QLineEdit(client);
    m_countField->setObjectName(QStringLiteral("deviceCount"));
    m_countField->setProperty("controlId", IDC_DEVICE_COUNT);
    m_countField->setReadOnly(true);
    m_countField->setAlignment(Qt::AlignCenter);
    m_countField->setGeometry(du.Rect(232, 138, 19, 12));
    UpdateData(false);
}

void CDeviceListDlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
}

int CDeviceListDlg::OnInitDialog()
{
    setWindowIcon(m_hIcon);
    if (!m_socket.Create()) {
        ShowProgramMessage(this, MSG_SOCKET_CREATE_ERROR, QMessageBox::Warning);
        return 0;
    }
    m_socket.m_pOwner = this;
    m_tickerTimer->start();
    Refresh();
    return 1;
}

void CDeviceListDlg::UpdateData(bool saveAndValidate)
{
    // The count field is read-only, so there is never anything to take back from it.
    if (!saveAndValidate)
        m_countField->setText(QString::number(m_scan.m_nCount));
}

void CDeviceListDlg::Refresh()
{
    if (!m_scan.BeginScan())
        return;
    m_list->clear();
    UpdateData(false);
    // Replies left unread from the last scan (a full table stops reading) are stale.
    // Reading them also re-arms the socket's readiness, which stays off while a
    // datagram is left unread, so this scan's replies get through.
    m_socket.DiscardPending(DISCARD_LIMIT_BEFORE_PROBE);
    m_socket.SendOnEveryInterface(BuildProbe());
    m_scanWindowTimer->start();
}

int CDeviceListDlg::ReceiveReplies()
{
    const DrainResult drain = m_scan.ReceiveBatch(
        [this](DISCOVERY_PACKET& row, unsigned& arrivalInterface) {
            return m_socket.ReceiveFrom(row, arrivalInterface);
        },
        [this](int row) {
            const DISCOVERY_PACKET& device = m_scan.m_devices[std::size_t(row)];
            auto* item = new QListWidgetItem(QString::fromStdString(FormatDeviceLine(device)));
            item->setData(ROW_INDEX_ROLE, row);
            m_list->addItem(item);
        },
        RECEIVE_BATCH_READS);
    UpdateData(false);
    // Reading goes on after the window's other events, as long as datagrams may still
    // wait or keep coming: the sockets' readiness reports are not relied on for it. A posted call rather than a zero timer, since
    // some event dispatchers hold timers back while a socket keeps reporting data, until
    // posted events have been handled.
    const bool mayGoOn = MoreMayWait(drain.end) || (drain.end == DrainEnd::NothingWaiting && drain.datagrams > 0);
    if (mayGoOn && !m_bDrainPosted) {
        m_bDrainPosted = true;
        QMetaObject::invokeMethod(this, [this] {
            m_bDrainPosted = false;
            ReceiveReplies();
        }, Qt::QueuedConnection);
    }
    return 1;
}

void CDeviceListDlg::OnTimer(int timerId)
{
    if (timerId == SCAN_WINDOW_TIMER) {
        m_scanWindowTimer->stop();
        if (m_scan.CloseScanWindow() && m_list->count() > 0)
            m_list->setCurrentRow(0);   // the lowest line in sorted order, not the first reply
    } else if (timerId == TICKER_TIMER) {
        if (m_scan.Tick())
            Refresh();
    }
}

int CDeviceListDlg::SelectedRow() const
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (m_scan.m_nCount == 0 || selected.isEmpty())
        return -1;
    bool ok = false;
    const int row = selected.first()->data(ROW_INDEX_ROLE).toInt(&ok);
    return ok && row >= 0 && row < m_scan.m_nCount ? row : -1;
}

void CDeviceListDlg::ChangeAddress()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    // A copy: a rescan may refill the table while the dialog is open, and the change
    // must still go to, and be compared with, the device chosen here.
    const DISCOVERY_PACKET device = m_scan.m_devices[std::size_t(row)];
    const unsigned answeredOn = m_scan.RowInterface(row);
    IpOctets address = device.ipAddress;
    IpOctets mask = device.ipMask;
    CSetAddressDlg dialog(this);
    if (!dialog.EditAddress(address, mask))
        return;

    const AddressChangePlan plan = PlanAddressChange(device, address, mask);
    switch (plan.verdict) {
    case AddressChangeVerdict::InvalidAddress:
        ShowProgramMessage(this, MSG_INVALID_IP_ADDRESS);
        return;
    case AddressChangeVerdict::InvalidMask:
        ShowProgramMessage(this, MSG_INVALID_MASK);
        return;
    case AddressChangeVerdict::Unchanged:
        return;
    case AddressChangeVerdict::Send:
        for (const DISCOVERY_PACKET& datagram : plan.datagrams)
            m_socket.SendVia(datagram, answeredOn);
        m_scan.ArmRescanAfterAddressChange();
        return;
    }
}

void CDeviceListDlg::OpenDeviceWebPage()
{
    const int row = SelectedRow();
    if (row < 0)
        return;
    const IpOctets& address = m_scan.m_devices[std::size_t(row)].ipAddress;
    m_openWebPage(QUrl(QString::fromStdString(WebPageUrl(address))));
}

bool CDeviceListDlg::OnCommand(int command)
{
    switch (command) {
    case ID_VIEW_REFRESH:
        Refresh();
        return true;
    case ID_VIEW_EXIT:
        done(0);
        return true;
    case ID_CONFIG_IP_ADDRESS:
    case IDOK:
        ChangeAddress();
        return true;
    case ID_CONFIG_DEVICE_SETTINGS:
        OpenDeviceWebPage();
        return true;
    case IDCANCEL:
        return true;   // Esc never closes the window
    default:
        return false;
    }
}

bool CDeviceListDlg::eventFilter(QObject* watched, QEvent* event)
{
    // F5 and Alt+Enter are seen before any control of this window gets them. Only this
    // window's own keys count: a modal dialog on top has its own.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this)
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    // A key a control ignores travels up to its parents and through this filter again;
    // taking it here keeps one press to one action. Alt+F5 is a system key, not F5.
    if (key->key() == Qt::Key_F5 && !(key->modifiers() & Qt::AltModifier)) {
        Refresh();
        return true;
    }
    if (IsEnterKey(key) && (key->modifiers() & Qt::AltModifier)) {
        OpenDeviceWebPage();
        return true;
    }
    return false;
}

void CDeviceListDlg::keyPressEvent(QKeyEvent* event)
{
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    if (IsEnterKey(event) && modifiers == Qt::NoModifier) {
        OnCommand(IDOK);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        OnCommand(IDCANCEL);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDeviceListDlg::closeEvent(QCloseEvent* event)
{
    OnClose();
    event->accept();
}

void CDeviceListDlg::OnClose()
{
    m_socket.Close();
    done(IDOK);
}
