#pragma once
// Everything the station shows to the operator or asks of the operator, as the
// document and the managers see it. The windows implement it; headless mode
// writes the same events to standard output and answers questions as nobody
// being there would; tests record it.

#include <cstdint>
#include <optional>
#include <string>

// Panes of the status bar that the managers write.
constexpr int STATUS_PANE_MAIL = 1;
constexpr int STATUS_PANE_GSM = 2;
constexpr int STATUS_PANE_TEL = 3;

enum class BeepKind { Default, Exclamation };
enum class MessageIcon { Information, Exclamation, Error, Stop };

class CStationScreen {
public:
    virtual ~CStationScreen() = default;

    virtual void SetStatusText(const std::string& text, int pane) = 0;
    // A line of the system information panel; popUp brings the panel to the
    // front with a beep.
    virtual void AddSystemInfo(const std::string& text, bool popUp) = 0;
    virtual void Beep(BeepKind kind) = 0;
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    // The port-selection dialog: the message, the port preselected; the port
    // the operator confirmed, or nothing when the operator cancelled.
    virtual std::optional<int16_t> SelectComPort(const std::string& message, int16_t current) = 0;
    // A forwarding job of the outbox changed its state (queued, held,
    // waiting, sent, retry, failed, expired, dropped); the line says which
    // and names the alarm and the recipient. Headless mode prints it; the
    // windows show the same through the panes and the system information.
    virtual void ReportJob(const std::string& line) { (void)line; }
};
