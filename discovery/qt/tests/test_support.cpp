#include "test_support.h"

#include "device_list_dlg.h"

#include "message_box.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

#ifndef CORVANE_DEVSIM_PATH
#error "the tests need the simulator's path"
#endif

bool WaitFor(const std::function<bool()>& condition, int timeoutMs)
{
    return QTest::qWaitFor(condition, timeoutMs);
}

bool ScanEndsWith(const CDeviceListDlg& dialog, int count, int timeoutMs)
{
    return WaitFor([&] { return !dialog.Scan().m_bScanning && dialog.Scan().m_nCount == count; }, timeoutMs);
}

QStringList ListLines(const QListWidget* list)
{
    QStringList lines;
    for (int i = 0; i < list->count(); ++i)
        lines << list->item(i)->text();
    return lines;
}

SimulatorProcess::SimulatorProcess(const QStringList& arguments)
{
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process.start(QStringLiteral(CORVANE_DEVSIM_PATH),
                    arguments + QStringList{"--bind", "127.0.0.1", "--port", "0"});
    if (!m_process.waitForStarted(10000))
        return;
    const QString prefix = QStringLiteral("listening on 127.0.0.1 port ");
    if (!WaitForLineStartingWith(prefix))
        return;
    for (const QString& line : m_lines)
        if (line.startsWith(prefix))
            m_port = quint16(line.mid(prefix.size()).section(' ', 0, 0).toUInt());
}

SimulatorProcess::~SimulatorProcess()
{
    m_process.terminate();
    if (!m_process.waitForFinished(10000))
        m_process.kill();
    m_process.waitForFinished(10000);
}

QStringList SimulatorProcess::Lines()
{
    m_partial += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_partial.indexOf('\n')) >= 0) {
        m_lines << QString::fromUtf8(m_partial.left(end));
        m_partial.remove(0, end + 1);
    }
    return m_lines;
}

int SimulatorProcess::CountLinesStartingWith(const QString& prefix)
{
    int count = 0;
    for (const QString& line : Lines())
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}

bool SimulatorProcess::WaitForLineStartingWith(const QString& prefix, int timeoutMs)
{
    return WaitFor([&] { return CountLinesStartingWith(prefix) > 0; }, timeoutMs);
}

ModalScript::ModalScript(int deadlineMs)
{
    m_poll.setInterval(20);
    connect(&m_poll, &QTimer::timeout, this, &ModalScript::Poll);
    m_poll.start();
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] {
        if (!m_steps.empty() && m_failure.empty())
            m_failure = "a scripted dialog did not appear in time";
        while (QWidget* modal = QApplication::activeModalWidget()) {
            m_failure += std::string(" (closed ") + modal->metaObject()->className() + ")";
            modal->close();
        }
        m_steps.clear();
    });
    m_deadline.start(deadlineMs);
}

ModalScript& ModalScript::Then(Step step)
{
    m_steps.push_back(std::move(step));
    return *this;
}

void ModalScript::Poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || !modal->isVisible() || m_steps.empty())
        return;
    if (m_steps.front()(modal)) {
        m_steps.pop_front();
        ++m_handled;
    }
}

ModalScript::Step ExpectMessage(QStringList* seen)
{
    return [seen](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box == nullptr)
            return false;
        *seen = {box->text(), box->windowTitle(), QString::number(int(box->icon()))};
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
        return true;
    };
}

namespace {

QLineEdit* Field(QWidget* dialog, const char* name)
{
    return dialog->findChild<QLineEdit*>(QString::fromLatin1(name));
}

bool IsAddressDialog(QWidget* modal)
{
    return modal->objectName() == QLatin1String("setAddressDialog");
}

} // namespace

ModalScript::Step FillAddressDialog(const QString& address, const QString& mask, QStringList* shownValues)
{
    return [=](QWidget* modal) {
        if (!IsAddressDialog(modal))
            return false;
        if (shownValues != nullptr)
            *shownValues = {modal->windowTitle(), Field(modal, "addressEdit")->text(), Field(modal, "maskEdit")->text()};
        QLineEdit* addressEdit = Field(modal, "addressEdit");
        addressEdit->selectAll();
        QTest::keyClick(addressEdit, Qt::Key_Delete);
        QTest::keyClicks(addressEdit, address);
        Field(modal, "maskEdit")->setText(mask);
        QTest::mouseClick(modal->findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
        return true;
    };
}

ModalScript::Step CancelAddressDialog(QStringList* shownValues)
{
    return [=](QWidget* modal) {
        if (!IsAddressDialog(modal))
            return false;
        if (shownValues != nullptr)
            *shownValues = {modal->windowTitle(), Field(modal, "addressEdit")->text(), Field(modal, "maskEdit")->text()};
        QTest::keyClick(Field(modal, "addressEdit"), Qt::Key_Escape);
        return true;
    };
}
