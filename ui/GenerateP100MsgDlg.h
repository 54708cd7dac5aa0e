#pragma once
// The P100 test message generator, a service window for engineers reached
// only by Ctrl+Alt+Shift+F1. It builds the frame the telephone modem would
// deliver for a received P100 message and sends it to the telephone handler,
// which decodes it and passes the alarm on as if it had come from a lift.
//
// The choices (identity, alarm type, operational-failure type, user data)
// fill the raw fields "Type", "Len" and "C1" to "C15" on "Update"; with
// "Automatic Update" on (the default) they are filled on every change and
// before every "Send", and "Update" is off. With it off the raw fields are
// sent as they stand, so that broken frames can be tried as well.
//
// Its texts are the engineers' and not in the dictionary. Modeless; created
// hidden with the main window, Close hides it.

#include "core/Msg.h"

#include <QDialog>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>

class CComMsg;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

class CGenerateP100MsgDlg : public QDialog {
public:
    static constexpr int kMaxIdChars = 15;
    static constexpr int kRawChars = 15;     // C1 to C15
    static constexpr int kMaxDataBytes = 7;  // Data 1 to Data 7
    // The alarm type choices, in the order of the list.
    enum AlarmChoice { kNoVoice = 0, kVoice = 1, kOpFail = 2, kTest = 3, kUserData = 4 };
    // Type, Len, C1 .. C15: the frame's data bytes.
    using RawFields = std::array<uint8_t, 2 + kRawChars>;

    // What the choices hold.
    struct Choices {
        QString idCode;
        int alarmType = kTest;
        int subCode = 0;
        int dataLen = 0;
        std::array<uint8_t, kMaxDataBytes> data{};
    };

    // Where "Send" puts the frame: the telephone handler's queue.
    using SendFunction = std::function<void(std::unique_ptr<CMsg> msg)>;

    explicit CGenerateP100MsgDlg(QWidget* owner = nullptr, SendFunction send = {});
    ~CGenerateP100MsgDlg() override;

    void SetSend(SendFunction sendFunction) { send = std::move(sendFunction); }
    // Shows the window and brings it to the front.
    void ShowWindow();

    // The raw fields for the choices, and the frame for the raw fields.
    static RawFields FromChoices(const Choices& choices);
    static std::unique_ptr<CComMsg> BuildFrame(const RawFields& raw);
    // The message code of an alarm type choice.
    static uint8_t MessageCode(int alarmType);

    // The buttons; tests call them as the engineer would.
    void OnUpdate();
    void OnSend();
    // Escape and the close box hide the window.
    void reject() override;

    Choices GetChoices() const;
    RawFields GetRawFields() const;
    void SetRawFields(const RawFields& raw);

    QLineEdit* IdField() const { return idCode; }
    QComboBox* AlarmTypeField() const { return alarmType; }
    QComboBox* SubCodeField() const { return subCode; }
    QSpinBox* RawField(int index) const { return raw[static_cast<std::size_t>(index)]; }
    QSpinBox* DataLenField() const { return dataLen; }
    QSpinBox* DataField(int index) const { return data[static_cast<std::size_t>(index)]; }
    QCheckBox* AutomaticUpdate() const { return automatic; }
    QPushButton* UpdateButton() const { return updateButton; }
    QPushButton* SendButton() const { return sendButton; }

private:
    void OnChoiceChanged();
    void UpdateEnabled();

    SendFunction send;
    QLineEdit* idCode = nullptr;
    QComboBox* alarmType = nullptr;
    QComboBox* subCode = nullptr;
    std::array<QSpinBox*, 2 + kRawChars> raw{};
    QSpinBox* dataLen = nullptr;
    std::array<QSpinBox*, kMaxDataBytes> data{};
    QCheckBox* automatic = nullptr;
    QPushButton* updateButton = nullptr;
    QPushButton* sendButton = nullptr;
};
