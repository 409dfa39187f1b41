#pragma once
// The main window: the device list, its scan cycle, and the operator's commands.

#include "discovery_socket.h"
#include "scan_state.h"

#include <QDialog>
#include <QIcon>
#include <QUrl>

#include <functional>

class QLineEdit;
class QListWidget;
class QMenuBar;
class QTimer;

class CDeviceListDlg : public QDialog, public CDiscoveryOwner {
    Q_OBJECT
public:
    using WebPageOpener = std::function<void(const QUrl&)>;

    explicit CDeviceListDlg(const DiscoveryEndpoints& endpoints = {}, QWidget* parent = nullptr);
    ~CDeviceListDlg() override;

    // Socket, ticker and first scan; runs once, when the window first shows.
    // 0 when the socket could not be created.
    int OnInitDialog();
    void Refresh();
    int ReceiveReplies() override;
    void OnTimer(int timerId);
    void ChangeAddress();
    void OpenDeviceWebPage();
    // Menu commands and the dialog's own commands; true when handled.
    bool OnCommand(int command);

    const CScanState& Scan() const { return m_scan; }
    void SetWebPageOpener(WebPageOpener opener) { m_openWebPage = std::move(opener); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildMenu(QMenuBar* menuBar);
    void BuildControls(QWidget* client);
    void UpdateData(bool saveAndValidate);
    // The table row behind the selected line, or -1 when the list is empty or nothing is selected.
    int SelectedRow() const;
    void OnClose();

    QListWidget* m_list = nullptr;
    QLineEdit* m_countField = nullptr;
    QIcon m_hIcon;
    CDiscoverySocket m_socket;
    CScanState m_scan;
    QTimer* m_scanWindowTimer = nullptr;
    QTimer* m_tickerTimer = nullptr;
    WebPageOpener m_openWebPage;
    bool m_bInitialised = false;
    bool m_bDrainPosted = false;   // a call of ReceiveReplies waits in the event queue
};
