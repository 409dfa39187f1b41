#include "device_list_dlg.h"

#include "dialog_units.h"
#include "program_icon.h"
#include "message_box.h"
#include "resource_ids.h"
#include "set_address_dlg.h"

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

// A font whose characters all have one width, so that the list's columns line up: the
// desktop's fixed-pitch font, else the first of the usual monospaced families that is.
QFont ListFont()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(10);
    font.setStyleHint(QFont::TypeWriter);
    if (HasEqualWidths(font))
        return font;
    for (const char* family : {"DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono", "Courier New"}) {
        QFont candidate = font;
        candidate.setFamily(QString::fromLatin1(family));
        if (HasEqualWidths(candidate))
            return candidate;
    }
    return font;   // none found: the desktop's own choice is the best guess left
}

// A list whose one selected line, as in a Windows list box, cannot be taken away by
// Ctrl+click: only another line can replace it.
class CDeviceListBox : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event) const override
    {
        const QItemSelectionModel::SelectionFlags flags = QListWidget::selectionCommand(index, event);
        return flags.testFlag(QItemSelectionModel::Deselect) ? QItemSelectionModel::NoUpdate : flags;
    }
};

DialogKey KeyOf(const QKeyEvent* key)
{
    if (key->key() == Qt::Key_F5)
        return DialogKey::F5;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter)
        return DialogKey::Enter;
    return DialogKey::Other;
}

KeyAction ActionFor(const QKeyEvent* key)
{
    return ActionForKey(KeyOf(key), key->modifiers().testFlag(Qt::AltModifier),
                        key->modifiers().testFlag(Qt::ControlModifier));
}

} // namespace

CDeviceListDlg::CDeviceListDlg(const DiscoveryEndpoints& endpoints, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_hIcon(LoadProgramIcon()),
      m_socket(endpoints),
      m_controller(*this, m_socket.Sockets()),
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
    connect(m_scanWindowTimer, &QTimer::timeout, this, [this] { m_controller.OnTimer(SCAN_WINDOW_TIMER); });
    m_tickerTimer = new QTimer(this);
    m_tickerTimer->setObjectName(QStringLiteral("tickerTimer"));
    m_tickerTimer->setInterval(TIMER_INTERVAL_MS);
    connect(m_tickerTimer, &QTimer::timeout, this, [this] { m_controller.OnTimer(TICKER_TIMER); });

    connect(m_list, &QListWidget::itemDoubleClicked, this, [this] { m_controller.OpenDeviceWebPage(); });
    m_socket.m_onReceive = [this] { m_controller.ReceiveReplies(); };
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

    m_list = new CDeviceListBox(client);
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
    return m_controller.OnInitDialog();
}

QTimer* CDeviceListDlg::Timer(int timerId) const
{
    return timerId == SCAN_WINDOW_TIMER ? m_scanWindowTimer : timerId == TICKER_TIMER ? m_tickerTimer : nullptr;
}

void CDeviceListDlg::ResetList()
{
    m_list->clear();
}

void CDeviceListDlg::AddLine(const std::string& line, int row)
{
    auto* item = new QListWidgetItem(QString::fromStdString(line));
    item->setData(ROW_INDEX_ROLE, row);
    m_list->addItem(item);   // the list sorts
}

int CDeviceListDlg::SelectedRow() const
{
    const QList<QListWidgetItem*> selected = m_list->selectedItems();
    if (selected.isEmpty())
        return -1;
    bool ok = false;
    const int row = selected.first()->data(ROW_INDEX_ROLE).toInt(&ok);
    return ok ? row : -1;
}

void CDeviceListDlg::SelectFirstLine()
{
    if (m_list->count() > 0)
        m_list->setCurrentRow(0);
}

void CDeviceListDlg::ShowCount(int count)
{
    m_countField->setText(QString::number(count));
}

void CDeviceListDlg::StartTimer(int timerId, int milliseconds)
{
    if (QTimer* timer = Timer(timerId))
        timer->start(milliseconds);
}

void CDeviceListDlg::StopTimer(int timerId)
{
    if (QTimer* timer = Timer(timerId))
        timer->stop();
}

bool CDeviceListDlg::EditAddress(IpOctets& address, IpOctets& mask)
{
    CSetAddressDlg dialog(this);
    return dialog.EditAddress(address, mask);
}

void CDeviceListDlg::ShowMessage(ProgramMessage message)
{
    const ProgramMessageText shown = TextOf(message);
    ShowProgramMessage(this, shown.text, shown.exclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
}

void CDeviceListDlg::OpenWebAddress(const std::string& url)
{
    m_openWebPage(QUrl(QString::fromStdString(url)));
}

void CDeviceListDlg::EndDialog(int result)
{
    done(result);
}

void CDeviceListDlg::DrainSoon()
{
    // A posted call rather than a zero timer: some event dispatchers hold timers back
    // while a socket keeps reporting data, until posted events have been handled.
    if (m_bDrainPosted)
        return;
    m_bDrainPosted = true;
    QMetaObject::invokeMethod(this, [this] {
        m_bDrainPosted = false;
        m_controller.ReceiveReplies();
    }, Qt::QueuedConnection);
}

bool CDeviceListDlg::eventFilter(QObject* watched, QEvent* event)
{
    // F5 and Alt+Enter are seen before any control of this window gets them. Only this
    // window's own keys count: a modal dialog on top has its own.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() ||
        static_cast<QWidget*>(watched)->window() != this)
        return false;
    // A key a control ignores travels up to its parents and through this filter again;
    // taking it here keeps one press to one action.
    const auto* key = static_cast<QKeyEvent*>(event);
    const KeyAction action = m_controller.OnKey(KeyOf(key), key->modifiers().testFlag(Qt::AltModifier),
                                                key->modifiers().testFlag(Qt::ControlModifier));
    // ChangeAddress is the dialog's default command, below.
    return action == KeyAction::Refresh || action == KeyAction::OpenWebPage;
}

void CDeviceListDlg::keyPressEvent(QKeyEvent* event)
{
    // Enter, with Shift, Ctrl or AltGr too, is the dialog's default command, as Windows has it.
    if (ActionFor(event) == KeyAction::ChangeAddress) {
        m_controller.OnCommand(IDOK);
        return;
    }
    if (event->key() == Qt::Key_Escape) {
        m_controller.OnCommand(IDCANCEL);
        return;
    }
    QDialog::keyPressEvent(event);
}

void CDeviceListDlg::closeEvent(QCloseEvent* event)
{
    m_controller.OnClose();
    event->accept();
}
