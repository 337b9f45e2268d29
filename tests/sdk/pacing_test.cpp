// Real-time pacing at 30 frame sets per second, waits that honour their
// timeout, and stops that release waiting callers at once.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "sdk_test_support.h"

using namespace sdk_test;
using clock_type = std::chrono::steady_clock;

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif

TEST(Pacing, ThirtyFrameSetsPerSecond)
{
    if (kSanitized)
        GTEST_SKIP() << "an instrumented build cannot make 30 frame sets per second; the plain build checks the rate";
    scoped_environment env({{"PVX3_PACING", "realtime"}});
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    ASSERT_TRUE(cam.next());  // the first frame set may wait for the renderers
    const auto t0 = clock_type::now();
    uint64_t first = 0, last = 0;
    const int sets = 30;
    for (int i = 0; i < sets; ++i) {
        frameset_ptr fs = cam.next(1000);
        ASSERT_TRUE(fs) << i;
        const uint64_t n = fs->get_ir_frame(nullptr)->get_frame_number(nullptr);
        (i == 0 ? first : last) = n;
        EXPECT_EQ(fs->get_ir_frame(nullptr)->get_timestamp_us(nullptr), (n * 1000000 + 15) / 30);
    }
    const double seconds = std::chrono::duration<double>(clock_type::now() - t0).count();
    const double rate = (sets - 1) / seconds;
    EXPECT_NEAR(rate, 30.0, 3.0) << seconds << " s for " << sets << " frame sets";
    // Real time keeps the schedule: numbers advance by one per set when the
    // consumer keeps up, and the timestamps follow 1/30 s steps.
    EXPECT_LE(last - first, uint64_t(sets + 2));
}

TEST(Pacing, WaitHonoursItsTimeout)
{
    // The slow source delivers its first frame set only after 2 s.
    scoped_environment env({{"PVX3_FRAME_DELAY_MS", "2000"}});
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    for (unsigned timeout : {0u, 30u, 120u}) {
        pvx3::pvx3_error err;
        const auto t0 = clock_type::now();
        frameset_ptr fs(cam.pipe->wait_for_frames(timeout, &err));
        const auto waited = clock_type::now() - t0;
        EXPECT_FALSE(fs);
        EXPECT_EQ(err.code, pvx3::PVX3_ERROR_TIMEOUT);
        EXPECT_GE(waited, std::chrono::milliseconds(timeout));
        EXPECT_LT(waited, std::chrono::milliseconds(timeout + 900));
    }
}

TEST(Pacing, StopReleasesAWaitingCaller)
{
    scoped_environment env({{"PVX3_FRAME_DELAY_MS", "5000"}});
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    std::promise<void> waiting;
    auto result = std::async(std::launch::async, [&] {
        pvx3::pvx3_error err;
        waiting.set_value();
        const auto t0 = clock_type::now();
        frameset_ptr fs(cam.pipe->wait_for_frames(15000, &err));
        return std::make_pair(fs == nullptr && err.code == pvx3::PVX3_ERROR_NOT_STREAMING, clock_type::now() - t0);
    });
    waiting.get_future().wait();
    cam.pipe->stop(nullptr);
    ASSERT_EQ(result.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    const auto [stopped, waited] = result.get();
    EXPECT_TRUE(stopped);
    EXPECT_LT(waited, std::chrono::seconds(4));
}

TEST(Pacing, NeverStartedOrStoppedPipelinesAnswerAtOnce)
{
    scoped_environment env;
    camera cam;
    pvx3::pvx3_error err;
    auto t0 = clock_type::now();
    EXPECT_EQ(cam.pipe->wait_for_frames(15000, &err), nullptr);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_NOT_STREAMING);
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    ASSERT_TRUE(cam.next());
    EXPECT_EQ(cam.pipe->stop(nullptr), 0);
    EXPECT_EQ(cam.pipe->stop(nullptr), 0);  // twice is harmless
    EXPECT_EQ(cam.pipe->wait_for_frames(15000, &err), nullptr);
    EXPECT_EQ(err.code, pvx3::PVX3_ERROR_NOT_STREAMING);
    EXPECT_LT(clock_type::now() - t0, std::chrono::seconds(5));
    // A restart streams again, numbering from 0.
    ASSERT_EQ(cam.pipe->start(cam.cfg, nullptr), 0);
    frameset_ptr fs = cam.next();
    ASSERT_TRUE(fs);
    EXPECT_EQ(fs->get_ir_frame(nullptr)->get_frame_number(nullptr), 0u);
}

TEST(Pacing, ConcurrentConsumersEachGetWholeFrameSets)
{
    scoped_environment env;
    camera cam;
    ASSERT_EQ(cam.start({{pvx3::PVX3_STREAM_IR, 320, 240}}), 0);
    auto consume = [&] {
        int got = 0;
        for (int i = 0; i < 10; ++i) {
            frameset_ptr fs = cam.next(5000);
            if (fs && fs->get_ir_frame(nullptr) && fs->get_ir_frame(nullptr)->get_data(nullptr))
                ++got;
        }
        return got;
    };
    auto a = std::async(std::launch::async, consume);
    auto b = std::async(std::launch::async, consume);
    EXPECT_EQ(a.get() + b.get(), 20);
}

}  // namespace
