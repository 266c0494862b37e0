#pragma once

// The port selection dialog: lists the COM ports whose devices exist, without
// opening any, and lets the user choose one. Each entry shows the device
// behind the number.

#include <QDialog>

#include <string>

class QComboBox;
class QFrame;
class QLabel;
class QPushButton;

namespace kelvalog {

// Modal results of the dialog (QDialog::exec returns them).
enum TModalResult { mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3 };

class TComSelectForm : public QDialog
{
    Q_OBJECT
public:
    // Fills the list at once from COM1 to COM256; sysfs is read below
    // SysfsRoot.
    explicit TComSelectForm(QWidget* Parent = nullptr, std::string SysfsRoot = "/sys");

    // The number of the selected entry ("COM12" gives 12); 0 when nothing is
    // selected.
    int SelectedNumber() const;

    // Whether COMn is listed: its device exists and, for a node of the device
    // table, sysfs knows it. A ttyS node without a UART (sysfs type 0) never
    // is. Nothing is opened.
    static bool PortAvailable(int Number, const std::string& SysfsRoot = "/sys");
    // The entry's text: "COMn", the device and a USB adapter's name.
    static QString EntryText(int Number, const std::string& SysfsRoot = "/sys");
    // The index of the entry of COMn, -1 when it is not listed.
    int IndexOfNumber(int Number) const;

    QLabel* Label1;
    QLabel* Label2;
    QFrame* Bevel1;
    QComboBox* PortsComboBox;
    QPushButton* OkBtn;
    QPushButton* AbortBtn;

public slots:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* Event) override;
    void showEvent(QShowEvent* Event) override;

private:
    void FormCreate();
    void FitWidth();

    std::string FSysfsRoot;
};

// Makes the dialog the prompt of an opening without a port number.
void UsePortDialogAsPrompt();

} // namespace kelvalog
