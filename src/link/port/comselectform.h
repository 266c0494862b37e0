#pragma once

// The port selection dialog: lists the COM ports that can be opened (or that
// exist but are held by another program) and lets the user choose one.

#include <QDialog>

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
    // Fills the list at once, probing COM1 to COM256.
    explicit TComSelectForm(QWidget* Parent = nullptr);

    // The number of the selected entry ("COM12" gives 12); 0 when nothing is
    // selected.
    int SelectedNumber() const;

    // Whether COMn can be chosen: it opens, or exists but is in use.
    static bool PortAvailable(int Number);

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
};

} // namespace kelvalog
