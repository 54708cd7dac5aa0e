#include "core/BufferMsg.h"
#include "core/HandlerMsg.h"
#include "core/Msg.h"
#include "core/MsgQueue.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include <memory>
#include <set>

namespace {

// A message that records its destruction, so a test sees each message
// deleted exactly once (a second delete is caught by the address sanitizer).
struct CountedMsg : CMsg {
    CountedMsg(uint16_t t, int& deletions) : CMsg(t), deleted(deletions) {}
    ~CountedMsg() override { ++deleted; }
    int& deleted;
};

TEST(Msg, FreshMessagesStartEmpty)
{
    CMsg plain;
    EXPECT_EQ(plain.GetType(), 0);
    EXPECT_EQ(plain.Next, nullptr);

    CHandlerMsg note(43);
    EXPECT_EQ(note.GetType(), 43);
    EXPECT_EQ(note.code, 0);
    EXPECT_EQ(note.value, 0);
    EXPECT_TRUE(note.text.empty());

    CBufferMsg frame(45);
    EXPECT_EQ(frame.length, 0);
    for (uint8_t b : frame.data)
        EXPECT_EQ(b, 0);
    for (int32_t p : frame.params)
        EXPECT_EQ(p, 0);
}

TEST(Msg, DeletingThroughTheBaseRunsTheConcreteDestructor)
{
    int deleted = 0;
    std::unique_ptr<CMsg> msg = std::make_unique<CountedMsg>(7, deleted);
    msg.reset();
    EXPECT_EQ(deleted, 1);
}

TEST(Msg, ChainIsDeletedWithItsHeadEachOnce)
{
    int deleted = 0;
    auto head = std::make_unique<CountedMsg>(31, deleted);
    CMsg* tail = head.get();
    for (int i = 0; i < 9; ++i) {
        tail->Next = std::make_unique<CountedMsg>(31, deleted);
        tail = tail->Next.get();
    }
    head.reset();
    EXPECT_EQ(deleted, 10);
}

TEST(Msg, VeryLongReplyChainDoesNotExhaustTheStack)
{
    // A reply with a record per alarm of a full database.
    auto head = std::make_unique<CMsg>(31);
    CMsg* tail = head.get();
    for (int i = 0; i < 500000; ++i) {
        tail->Next = std::make_unique<CMsg>(31);
        tail = tail->Next.get();
    }
    head.reset();
    SUCCEED();
}

// A record that a message of the base class is not.
struct RecordMsg : CountedMsg {
    using CountedMsg::CountedMsg;
};

// An owned message changes hands only when it is of the asked class; any
// other message stays with its owner, undeleted, and nothing is misread.
TEST(MsgCast, OwnedMessageMovesOnlyWhenItIsOfTheAskedClass)
{
    enum class Holds { Record, PlainMessage, Nothing };
    struct Case {
        const char* name;
        Holds holds;
        bool taken;
    };
    const Case cases[] = {
        {"a record is taken", Holds::Record, true},
        {"a message of another class stays", Holds::PlainMessage, false},
        {"no message gives nothing", Holds::Nothing, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int deletions = 0;
        std::unique_ptr<CMsg> msg;
        if (c.holds == Holds::Record)
            msg = std::make_unique<RecordMsg>(31, deletions);
        else if (c.holds == Holds::PlainMessage)
            msg = std::make_unique<CountedMsg>(31, deletions);
        CMsg* const original = msg.get();

        std::unique_ptr<RecordMsg> record = MsgCast<RecordMsg>(msg);

        EXPECT_EQ(record != nullptr, c.taken);
        EXPECT_EQ(deletions, 0);
        if (c.taken) {
            EXPECT_EQ(record.get(), original);
            EXPECT_EQ(msg, nullptr);
        } else {
            EXPECT_EQ(msg.get(), original);
        }
        record.reset();
        msg.reset();
        EXPECT_EQ(deletions, c.holds == Holds::Nothing ? 0 : 1);
    }
}

TEST(MsgCast, ReferenceGivesTheRecordOrNothing)
{
    int deletions = 0;
    RecordMsg record(31, deletions);
    CountedMsg plain(31, deletions);
    const CMsg& constRecord = record;

    EXPECT_EQ(MsgCast<RecordMsg>(static_cast<CMsg&>(record)), &record);
    EXPECT_EQ(MsgCast<RecordMsg>(constRecord), &record);
    EXPECT_EQ(MsgCast<RecordMsg>(static_cast<CMsg&>(plain)), nullptr);
}

TEST(MsgQueue, EmptyQueueGivesNothingAndStaysEmpty)
{
    CMsgQueue queue;
    EXPECT_EQ(queue.Get(), nullptr);
    EXPECT_EQ(queue.Get(), nullptr);
    EXPECT_TRUE(queue.IsEmpty());
    queue.Add(std::make_unique<CMsg>(1));
    EXPECT_EQ(queue.GetCount(), 1u);
}

TEST(MsgQueue, FirstInFirstOutAcrossManyGrowSteps)
{
    CMsgQueue queue;
    for (uint16_t i = 1; i <= 95; ++i)
        queue.Add(std::make_unique<CMsg>(i));
    for (uint16_t i = 1; i <= 40; ++i)
        EXPECT_EQ(queue.Get()->GetType(), i);
    for (uint16_t i = 96; i <= 120; ++i)
        queue.Add(std::make_unique<CMsg>(i));
    for (uint16_t i = 41; i <= 120; ++i) {
        auto msg = queue.Get();
        ASSERT_NE(msg, nullptr);
        EXPECT_EQ(msg->GetType(), i);
    }
    EXPECT_EQ(queue.Get(), nullptr);
}

TEST(MsgQueue, DestroyingAQueueDeletesWhatItHoldsExactlyOnce)
{
    int deleted = 0;
    {
        CMsgQueue queue;
        for (int i = 0; i < 25; ++i)
            queue.Add(std::make_unique<CountedMsg>(1, deleted));
        auto taken = queue.Get();  // now owned here, not by the queue
        EXPECT_EQ(deleted, 0);
    }
    EXPECT_EQ(deleted, 25);
}

TEST(MsgQueue, HigherPrecedenceGoesAheadAndEqualOnesKeepTheirOrder)
{
    // type, precedence, in the order they are added
    const std::vector<std::pair<uint16_t, uint8_t>> added = {
        {1, 0}, {2, 2}, {3, 0}, {4, 3}, {5, 2}, {6, 1}, {7, 3}, {8, 0},
    };
    CMsgQueue queue;
    for (const auto& [type, precedence] : added) {
        auto msg = std::make_unique<CMsg>(type);
        msg->SetPrecedence(precedence);
        queue.Add(std::move(msg));
    }
    std::vector<uint16_t> order;
    while (auto msg = queue.Get())
        order.push_back(msg->GetType());
    EXPECT_EQ(order, (std::vector<uint16_t>{4, 7, 2, 5, 6, 1, 3, 8}));
}

TEST(MsgQueue, AddingNothingIsIgnored)
{
    CMsgQueue queue;
    queue.Add(nullptr);
    EXPECT_TRUE(queue.IsEmpty());
}

}  // namespace
