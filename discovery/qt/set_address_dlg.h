#pragma once
// "Set IP Address": edits one device's address and mask as dotted text.

#include "discovery_packet.h"

#include <QDialog>
#include <QString>

class QLineEdit;
class QPushButton;

class CSetAddressDlg : public QDialog {
    Q_OBJECT
public:
    explicit CSetAddressDlg(QWidget* parent = nullptr);

    // Shows the values, waits for the operator and, on OK, returns true with the values
    // parsed from the fields; text that does not parse becomes all zero.
    bool EditAddress(IpOctets& address, IpOctets& mask);

    QString m_strAddress;
    QString m_strMask;

    void accept() override;

private:
    // Moves the members into the fields (false) or the fields into the members (true).
    void UpdateData(bool saveAndValidate);

    QLineEdit* m_addressEdit;
    QLineEdit* m_maskEdit;
    QPushButton* m_okButton;
    QPushButton* m_cancelButton;
};
