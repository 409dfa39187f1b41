#include "set_address_dlg.h"

#include "dialog_units.h"
#include "dotted_quad.h"
#include "resource_ids.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

IpOctets ParseField(const QString& text)
{
    const QByteArray latin1 = text.toLatin1();   // a NUL stays in, for the rule to see
    return ParseAddressField(std::string_view(latin1.constData(), std::size_t(latin1.size())));
}

} // namespace

CSetAddressDlg::CSetAddressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("setAddressDialog"));
    setWindowTitle(QStringLiteral("Set IP Address"));
    const CDialogUnits du(font());

    // Created in tab order.
    m_addressEdit = new QLineEdit(this);
    m_addressEdit->setObjectName(QStringLiteral("addressEdit"));
    m_addressEdit->setProperty("controlId", IDC_ADDRESS);
    m_addressEdit->setGeometry(du.Rect(62, 7, 58, 12));
    m_maskEdit = new QLineEdit(this);
    m_maskEdit->setObjectName(QStringLiteral("maskEdit"));
    m_maskEdit->setProperty("controlId", IDC_MASK);
    m_maskEdit->setGeometry(du.Rect(62, 21, 58, 12));

    m_okButton = new QPushButton(QStringLiteral("OK"), this);
    m_okButton->setObjectName(QStringLiteral("okButton"));
    m_okButton->setDefault(true);
    m_okButton->setGeometry(du.Rect(136, 8, 34, 10));
    m_cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    // Auto-default, as push buttons in dialogs are: Enter on a focused Cancel cancels.
    m_cancelButton->setGeometry(du.Rect(136, 21, 34, 10));
    connect(m_okButton, &QPushButton::clicked, this, &CSetAddressDlg::accept);
    connect(m_cancelButton, &QPushButton::clicked, this, &CSetAddressDlg::reject);

    auto* addressLabel = new QLabel(QStringLiteral("IP Address"), this);
    addressLabel->setGeometry(du.Rect(12, 8, 41, 8));
    auto* maskLabel = new QLabel(QStringLiteral("Subnet Mask"), this);
    maskLabel->setGeometry(du.Rect(11, 22, 45, 8));

    setFixedSize(du.Size(184, 43));
}

bool CSetAddressDlg::EditAddress(IpOctets& address, IpOctets& mask)
{
    m_strAddress = QString::fromStdString(FormatDottedQuad(address));
    m_strMask = QString::fromStdString(FormatDottedQuad(mask));
    UpdateData(false);
    m_addressEdit->setFocus();
    m_addressEdit->selectAll();
    if (exec() != QDialog::Accepted)
        return false;
    address = ParseField(m_strAddress);
    mask = ParseField(m_strMask);
    return true;
}

void CSetAddressDlg::accept()
{
    UpdateData(true);
    QDialog::accept();
}

void CSetAddressDlg::UpdateData(bool saveAndValidate)
{
    if (saveAndValidate) {
        m_strAddress = m_addressEdit->text();
        m_strMask = m_maskEdit->text();
    } else {
        m_addressEdit->setText(m_strAddress);
        m_maskEdit->setText(m_strMask);
    }
}
