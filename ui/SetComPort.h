#pragma once
// The port-selection dialog: shown by the telephone and GSM managers when
// their modem's serial port does not open. It lists the ports present now,
// with the configured port preselected, and gives back the port chosen.

#include <QDialog>
#include <QString>

#include <cstdint>

class QComboBox;
class QLabel;
class QPushButton;

class CSetComPort : public QDialog {
public:
    // caption: the caller's text; currentPort: the configured port.
    CSetComPort(const QString& caption, int16_t currentPort, QWidget* parent = nullptr);

    // The chosen port after OK (the configured one unless another was
    // chosen; 0 when the operator left no entry selected).
    int16_t GetPort() const { return port; }

    // Fills the list anew with the ports present now; the dialog's port stays
    // selected when it is still there. Opening the drop-down calls it, so a
    // port plugged in meanwhile appears.
    void FillPortList();

    QComboBox* PortList() const { return ports; }
    QLabel* Line(int index) const { return lines[index]; }
    QPushButton* OkButton() const { return ok; }
    QPushButton* CancelButton() const { return cancel; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int16_t port;
    bool filling = false;
    QComboBox* ports = nullptr;
    QLabel* lines[3] = {};
    QPushButton* ok = nullptr;
    QPushButton* cancel = nullptr;
};
