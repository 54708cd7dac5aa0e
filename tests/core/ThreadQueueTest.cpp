#include "core/ThreadQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <map>
#include <thread>
#include <vector>

namespace {

struct SeqMsg : CMsg {
    SeqMsg(int p, int s, std::atomic<int>& deletions) : CMsg(1), producer(p), seq(s), deleted(deletions) {}
    ~SeqMsg() override { ++deleted; }
    int producer;
    int seq;
    std::atomic<int>& deleted;
};

TEST(ThreadQueue, EmptyQueueGivesNothing)
{
    CThreadQueue queue;
    EXPECT_EQ(queue.Get(), nullptr);
    EXPECT_EQ(queue.GetCount(), 0u);
}

TEST(ThreadQueue, EachProducersMessagesArriveInOrderWithNoneLostOrDoubled)
{
    constexpr int kProducers = 4;
    constexpr int kPerProducer = 5000;
    std::atomic<int> deleted{0};
    CThreadQueue queue;
    std::atomic<bool> go{false};

    std::vector<std::thread> producers;
    for (int p = 0; p < kProducers; ++p) {
        producers.emplace_back([&, p] {
            while (!go.load()) {
            }
            for (int s = 0; s < kPerProducer; ++s)
                queue.Add(std::make_unique<SeqMsg>(p, s, deleted));
        });
    }

    std::map<int, int> nextSeq;
    int received = 0;
    std::thread consumer([&] {
        while (received < kProducers * kPerProducer) {
            std::unique_ptr<CMsg> msg = queue.Get();
            if (!msg) {
                std::this_thread::yield();
                continue;
            }
            auto* seqMsg = static_cast<SeqMsg*>(msg.get());
            EXPECT_EQ(seqMsg->seq, nextSeq[seqMsg->producer]) << "producer " << seqMsg->producer;
            nextSeq[seqMsg->producer] = seqMsg->seq + 1;
            ++received;
        }
    });

    go = true;
    for (auto& t : producers)
        t.join();
    consumer.join();

    EXPECT_EQ(received, kProducers * kPerProducer);
    for (int p = 0; p < kProducers; ++p)
        EXPECT_EQ(nextSeq[p], kPerProducer);
    EXPECT_EQ(deleted.load(), kProducers * kPerProducer);
    EXPECT_EQ(queue.Get(), nullptr);
}

TEST(ThreadQueue, DestroyingAQueueDeletesWhatItHoldsExactlyOnce)
{
    std::atomic<int> deleted{0};
    {
        CThreadQueue queue;
        for (int i = 0; i < 30; ++i)
            queue.Add(std::make_unique<SeqMsg>(0, i, deleted));
        queue.Get();  // taken and dropped here
        EXPECT_EQ(deleted.load(), 1);
    }
    EXPECT_EQ(deleted.load(), 30);
}

}  // namespace
