// The P100 test message generator: the raw fields each choice gives (bytes
// as the P100 frame has them), the frame Send builds, what the decoder makes
// of it, and the rules of the controls (which are enabled when, automatic
// update, raw fields sent as they stand).

#include "ui/GenerateP100MsgDlg.h"

#include "messages/ComMsg.h"
#include "messages/TelHandlerMsg.h"
#include "protocols/P100Info.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <memory>
#include <string>
#include <vector>

namespace {

using Raw = CGenerateP100MsgDlg::RawFields;
using Dlg = CGenerateP100MsgDlg;

struct ChoiceCase {
    const char* name;
    const char* idCode;
    int alarmType;
    int subCode;
    int dataLen;
    std::vector<uint8_t> data;
    Raw expected;  // Type, Len, C1 .. C15
    // What the telephone handler's decoder makes of the frame.
    bool decodes;
    uint8_t msgType;
    std::string decodedId;
    int16_t ofType;
    std::vector<uint8_t> userData;
};

void PrintTo(const ChoiceCase& c, std::ostream* out)
{
    *out << c.name;
}

const ChoiceCase kChoiceCases[] = {
    {"NoVoice",
     "12345678",
     Dlg::kNoVoice,
     0,
     0,
     {},
     {0, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0},
     true,
     TELMSG_P100_ALARM,
     "12345678",
     0,
     {}},
    {"Voice",
     "87654321",
     Dlg::kVoice,
     0,
     0,
     {},
     {1, 8, 8, 7, 6, 5, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0, 0},
     true,
     TELMSG_VOICE,
     "87654321",
     0,
     {}},
    {"OpFailStartOfAlarm",
     "12345678",
     Dlg::kOpFail,
     4,
     0,
     {},
     {2, 11, 1, 2, 3, 4, 5, 6, 7, 8, 4, 0, 0, 0, 0, 0, 0},
     true,
     TELMSG_OP_FAIL,
     "12345678",
     5,
     {}},
    {"OpFailBusFailure",
     "00000001",
     Dlg::kOpFail,
     10,
     0,
     {},
     {2, 11, 0, 0, 0, 0, 0, 0, 0, 1, 10, 0, 0, 0, 0, 0, 0},
     true,
     TELMSG_OP_FAIL,
     "00000001",
     11,
     {}},
    {"Test",
     "12345678",
     Dlg::kTest,
     0,
     0,
     {},
     {3, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0},
     true,
     TELMSG_TEST,
     "12345678",
     0,
     {}},
    {"UserData",
     "",
     Dlg::kUserData,
     0,
     3,
     {0xAB, 0x01, 0xF0},
     {5, 6, 0xA, 0xB, 0, 1, 0xF, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
     true,
     TELMSG_USER_DATA,
     "",
     0,
     {0xAB, 0x01, 0xF0}},
    {"UserDataSevenBytes",
     "",
     Dlg::kUserData,
     0,
     7,
     {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE},
     {5, 14, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xA, 0xB, 0xC, 0xD, 0xE, 0},
     true,
     TELMSG_USER_DATA,
     "",
     0,
     {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE}},
    {"UserDataNone",
     "",
     Dlg::kUserData,
     0,
     0,
     {0x55},
     {5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
     true,
     TELMSG_USER_DATA,
     "",
     0,
     {}},
    // The identity fills C1 onward, 0 beyond its end; Len stays 8.
    {"ShortId",
     "12",
     Dlg::kTest,
     0,
     0,
     {},
     {3, 8, 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
     true,
     TELMSG_TEST,
     "12000000",
     0,
     {}},
    {"FifteenCharacterId",
     "123456789012345",
     Dlg::kTest,
     0,
     0,
     {},
     {3, 8, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5},
     true,
     TELMSG_TEST,
     "12345678",
     0,
     {}},
    // A hex letter is a P100 character above 9: the decoder refuses it.
    {"NonDecimalId",
     "1234567A",
     Dlg::kNoVoice,
     0,
     0,
     {},
     {0, 8, 1, 2, 3, 4, 5, 6, 7, 10, 0, 0, 0, 0, 0, 0, 0},
     false,
     0,
     "",
     0,
     {}},
};

class GenerateP100ChoiceTest : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(GenerateP100ChoiceTest, UpdateFillsTheRawFieldsAndSendBuildsTheFrame)
{
    const ChoiceCase& c = GetParam();
    std::vector<std::unique_ptr<CMsg>> sent;
    CGenerateP100MsgDlg dlg(nullptr, [&](std::unique_ptr<CMsg> msg) { sent.push_back(std::move(msg)); });
    dlg.AutomaticUpdate()->setChecked(false);
    dlg.AlarmTypeField()->setCurrentIndex(c.alarmType);
    dlg.IdField()->setText(QString::fromLatin1(c.idCode));
    dlg.SubCodeField()->setCurrentIndex(c.subCode);
    dlg.DataLenField()->setValue(c.dataLen);
    for (std::size_t i = 0; i < c.data.size(); ++i)
        dlg.DataField(static_cast<int>(i))->setValue(c.data[i]);
    dlg.UpdateButton()->click();
    EXPECT_EQ(dlg.GetRawFields(), c.expected);

    dlg.SendButton()->click();
    ASSERT_EQ(sent.size(), 1u);
    auto* frame = dynamic_cast<CComMsg*>(sent[0].get());
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(frame->GetType(), TEL_SIMULATE_P100);
    EXPECT_EQ(frame->GetCommand(), CMD_P100_DATA);
    ASSERT_EQ(frame->GetLength(), 17);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(frame->GetPayload(i), c.expected[static_cast<std::size_t>(i)]) << "position " << i;

    CP100Info decoder;
    const std::unique_ptr<CTelHandlerMsg> decoded = decoder.Decode(*frame);
    ASSERT_EQ(decoded != nullptr, c.decodes);
    if (!decoded)
        return;
    EXPECT_EQ(decoded->msgType, c.msgType);
    EXPECT_EQ(decoded->ofType, c.ofType);
    if (c.msgType == TELMSG_USER_DATA) {
        ASSERT_EQ(decoded->userDataLen, static_cast<int16_t>(c.userData.size()));
        for (std::size_t i = 0; i < c.userData.size(); ++i)
            EXPECT_EQ(decoded->userData[i], c.userData[i]) << "byte " << i;
    } else {
        EXPECT_EQ(decoded->idCode, c.decodedId);
    }
}

INSTANTIATE_TEST_SUITE_P(Choices, GenerateP100ChoiceTest, ::testing::ValuesIn(kChoiceCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GenerateP100MsgDlgTest, StartsWithATestOfTheSampleIdentity)
{
    CGenerateP100MsgDlg dlg;
    EXPECT_EQ(dlg.windowTitle(), QStringLiteral("Generate P100 Message"));
    EXPECT_EQ(dlg.IdField()->text(), QStringLiteral("12345678"));
    EXPECT_EQ(dlg.AlarmTypeField()->currentText(), QStringLiteral("Test"));
    EXPECT_TRUE(dlg.AutomaticUpdate()->isChecked());
    EXPECT_FALSE(dlg.UpdateButton()->isEnabled());
    // With automatic update the raw fields show what Send would send.
    EXPECT_EQ(dlg.GetRawFields(), (Raw{3, 8, 1, 2, 3, 4, 5, 6, 7, 8, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(dlg.IdField()->maxLength(), 15);
    EXPECT_EQ(dlg.SubCodeField()->count(), 11);
    EXPECT_EQ(dlg.DataLenField()->maximum(), 7);
    for (int i = 0; i < 17; ++i) {
        EXPECT_EQ(dlg.RawField(i)->minimum(), 0);
        EXPECT_EQ(dlg.RawField(i)->maximum(), 15);
    }
}

struct EnableCase {
    int alarmType;
    bool id;
    bool subCode;
    bool userData;
};

class GenerateP100EnableTest : public ::testing::TestWithParam<EnableCase> {};

TEST_P(GenerateP100EnableTest, ControlsFollowTheAlarmType)
{
    CGenerateP100MsgDlg dlg;
    dlg.AlarmTypeField()->setCurrentIndex(GetParam().alarmType);
    EXPECT_EQ(dlg.IdField()->isEnabled(), GetParam().id);
    EXPECT_EQ(dlg.SubCodeField()->isEnabled(), GetParam().subCode);
    EXPECT_EQ(dlg.DataLenField()->isEnabled(), GetParam().userData);
    for (int i = 0; i < CGenerateP100MsgDlg::kMaxDataBytes; ++i)
        EXPECT_EQ(dlg.DataField(i)->isEnabled(), GetParam().userData);
}

INSTANTIATE_TEST_SUITE_P(AlarmTypes, GenerateP100EnableTest,
                         ::testing::Values(EnableCase{Dlg::kNoVoice, true, false, false},
                                           EnableCase{Dlg::kVoice, true, false, false},
                                           EnableCase{Dlg::kOpFail, true, true, false},
                                           EnableCase{Dlg::kTest, true, false, false},
                                           EnableCase{Dlg::kUserData, false, false, true}));

TEST(GenerateP100MsgDlgTest, WithoutAutomaticUpdateTheRawFieldsAreSentAsTheyStand)
{
    std::vector<std::unique_ptr<CMsg>> sent;
    CGenerateP100MsgDlg dlg(nullptr, [&](std::unique_ptr<CMsg> msg) { sent.push_back(std::move(msg)); });
    dlg.AutomaticUpdate()->setChecked(false);
    EXPECT_TRUE(dlg.UpdateButton()->isEnabled());
    // A frame the decoder must refuse: wrong count for a test message.
    const Raw broken{3, 7, 1, 2, 3, 4, 5, 6, 7, 0, 0, 0, 0, 0, 0, 0, 15};
    dlg.SetRawFields(broken);
    dlg.AlarmTypeField()->setCurrentIndex(Dlg::kVoice);  // choices no longer touch the raw fields
    dlg.SendButton()->click();
    ASSERT_EQ(sent.size(), 1u);
    const auto& frame = dynamic_cast<const CComMsg&>(*sent[0]);
    for (int i = 0; i < 17; ++i)
        EXPECT_EQ(frame.GetPayload(i), broken[static_cast<std::size_t>(i)]) << "position " << i;
    EXPECT_EQ(CP100Info().Decode(frame), nullptr);

    // Automatic update on again: the choices win at Send.
    dlg.SetRawFields(broken);
    dlg.AutomaticUpdate()->setChecked(true);
    EXPECT_FALSE(dlg.UpdateButton()->isEnabled());
    dlg.SetRawFields(broken);
    dlg.SendButton()->click();
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(dynamic_cast<const CComMsg&>(*sent[1]).GetPayload(0), 1);  // Voice
    EXPECT_EQ(dynamic_cast<const CComMsg&>(*sent[1]).GetPayload(1), 8);
}

TEST(GenerateP100MsgDlgTest, IdentityTakesOnlyP100Characters)
{
    CGenerateP100MsgDlg dlg;
    QLineEdit* id = dlg.IdField();
    id->clear();
    id->setFocus();
    id->insert(QStringLiteral("12x4"));  // refused as a whole by the validator
    EXPECT_TRUE(id->hasAcceptableInput());
    EXPECT_EQ(id->text().contains(QLatin1Char('x')), false);
}

TEST(GenerateP100MsgDlgTest, CloseHidesTheWindow)
{
    CGenerateP100MsgDlg dlg;
    dlg.ShowWindow();
    EXPECT_TRUE(dlg.isVisible());
    dlg.reject();
    EXPECT_FALSE(dlg.isVisible());
}

}  // namespace
