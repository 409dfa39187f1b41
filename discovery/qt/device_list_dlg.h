#pragma once
// The main window's Qt skin: the list, the count and the menu, mapping Qt's events onto
// the controller (device_list_controller.h), which holds the scan cycle and the commands.

#include "device_list_controller.h"
#include "discovery_socket.h"

#include <QDialog>
#include <QIcon>
#include <QUrl>

#include <functional>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QMenuBar;
class QTimer;

// The main window's Qt skin: maps Qt's events onto the controller and carries out
// what the controller asks of its window.
class CDeviceListDlg : public QDialog, private CDeviceListWindow {
    Q_OBJECT
public:
    using WebPageOpener = std::function<void(const QUrl&)>;

    explicit CDeviceListDlg(const DiscoveryEndpoints& endpoints = {}, QWidget* parent = nullptr);
    ~CDeviceListDlg() override;

    // Socket, ticker and first scan; runs once, when the window first shows.
    // 0 when the socket could not be created.
    int OnInitDialog();
    void Refresh() { m_controller.Refresh(); }
    // Menu commands and the dialog's own commands; true when handled.
    bool OnCommand(int command) { return m_controller.OnCommand(command); }

    const CScanState& Scan() const { return m_controller.Scan(); }
    void SetWebPageOpener(WebPageOpener opener) { m_openWebPage = std::move(opener); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void BuildMenu(QMenuBar* menuBar);
    void BuildControls(QWidget* client);
    QTimer* Timer(int timerId) const;

    // What the controller asks of its window.
    void ResetList() override;
    void AddLine(const std::string& line, int row) override;
    int SelectedRow() const override;
    void SelectFirstLine() override;
    void ShowCount(int count) override;
    void StartTimer(int timerId, int milliseconds) override;
    void StopTimer(int timerId) override;
    bool EditAddress(IpOctets& address, IpOctets& mask) override;
    void ShowMessage(ProgramMessage message) override;
    void OpenWebAddress(const std::string& url) override;
    void EndDialog(int result) override;
    void DrainSoon() override;

    QListWidget* m_list = nullptr;
    QLineEdit* m_countField = nullptr;
    QIcon m_hIcon;
    CDiscoverySocket m_socket;
    CDeviceListController m_controller;
    QTimer* m_scanWindowTimer = nullptr;
    QTimer* m_tickerTimer = nullptr;
    WebPageOpener m_openWebPage;
    bool m_bInitialised = false;
    bool m_bDrainPosted = false;   // a drain waits in the event queue
};
