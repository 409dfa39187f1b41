#pragma once
// Helpers for tests that drive the real dialogs: a simulator child process,
// and a script that answers the modal dialogs the program opens.

#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <string>

class CDeviceListDlg;
class QListWidget;
class QWidget;

// Waits, running the event loop, until `condition` holds; false after `timeoutMs`.
bool WaitFor(const std::function<bool()>& condition, int timeoutMs = 10000);
// Waits for the dialog's scan window to close with `count` devices listed.
bool ScanEndsWith(const CDeviceListDlg& dialog, int count, int timeoutMs = 10000);
// The list's lines, top to bottom.
QStringList ListLines(const QListWidget* list);

// corvane-devsim on loopback at a port of its own choosing.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const QStringList& arguments);
    ~SimulatorProcess();
    bool Started() const { return m_port != 0; }
    quint16 Port() const { return m_port; }
    QStringList Lines();
    int CountLinesStartingWith(const QString& prefix);
    bool WaitForLineStartingWith(const QString& prefix, int timeoutMs = 10000);

private:
    QProcess m_process;
    QStringList m_lines;
    QByteArray m_partial;
    quint16 m_port = 0;
};

// Runs one step per modal dialog, in order, on whichever dialog is the active modal
// widget. A step returns false when the dialog is not the one it expects yet.
// Whatever is still open when the deadline passes is closed, so no test can hang.
class ModalScript : public QObject {
public:
    using Step = std::function<bool(QWidget* modal)>;
    explicit ModalScript(int deadlineMs = 20000);
    ModalScript& Then(Step step);
    bool Finished() const { return m_steps.empty(); }
    int Handled() const { return m_handled; }
    const std::string& Failure() const { return m_failure; }

private:
    void Poll();
    std::deque<Step> m_steps;
    QTimer m_poll;
    QTimer m_deadline;
    int m_handled = 0;
    std::string m_failure;
};

// Steps for a message box, which is dismissed with OK after `seen` receives its text,
// caption and icon, and for the address dialog, which is filled in and confirmed or
// cancelled with Esc after `shownValues` receives its caption and the two fields.
ModalScript::Step ExpectMessage(QStringList* seen);
ModalScript::Step FillAddressDialog(const QString& address, const QString& mask, QStringList* shownValues = nullptr);
ModalScript::Step CancelAddressDialog(QStringList* shownValues = nullptr);
