// The arithmetic that keeps sound in step with the frames, and the buffer between the capture
// thread and the recorder.
#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "engine/SoundTiming.h"
#include "platform/sound/sample_buffer.h"
#include "platform/sound/sample_clock.h"

namespace {

using namespace engine;

TEST(SoundTimingTest, ShiftPlacesTheFirstCapturedSampleOnTheRecordingsTimeLine) {
    struct Case {
        std::int64_t startUs, firstUs;
        std::int64_t shift;
    };
    const Case cases[] = {
        {1'000'000, 1'000'000, 0},
        {1'100'000, 1'000'000, 4800},            // capture began 100 ms early: leave out its head
        {1'000'000, 1'020'000, -960},            // began 20 ms late: 20 ms of silence first
        {1'000'000, 1'000'010, 0},               // 0.48 samples rounds to none
        {1'000'000, 999'989, 1},                 // 0.528 rounds to one
        {7'000'000'000, 6'999'000'000, 48'000},  // far from the clock's origin
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SoundShift(c.startUs, c.firstUs, 48000), c.shift)
            << c.startUs << " " << c.firstUs;
    }
}

TEST(SoundTimingTest, SoundLastsAsLongAsThePositionsAtTheFramePeriod) {
    EXPECT_EQ(SoundSamplesFor(0, 67, 48000), 0u);
    EXPECT_EQ(SoundSamplesFor(-3, 67, 48000), 0u);
    EXPECT_EQ(SoundSamplesFor(1, 200, 48000), 9600u);
    EXPECT_EQ(SoundSamplesFor(15, 67, 48000), 48240u);  // 1.005 s, not one second
    // Ten minutes at 15 fps: counted, not accumulated from rounded periods.
    EXPECT_EQ(SoundSamplesFor(8955, 67, 48000), 28'799'280u);
}

TEST(SoundTimingTest, VideoRateWithSoundIsTheFramePeriodsOwn) {
    struct Case {
        int msPerFrame;
        std::uint32_t rate, scale;
    };
    const Case cases[] = {{200, 5, 1}, {100, 10, 1}, {67, 1000, 67}, {333, 1000, 333},
                          {125, 8, 1}, {250, 4, 1},  {0, 5, 1}};
    for (const Case& c : cases) {
        const StreamRate rate = ExactVideoRate(c.msPerFrame);
        EXPECT_EQ(rate.rate, c.rate) << c.msPerFrame;
        EXPECT_EQ(rate.scale, c.scale) << c.msPerFrame;
    }
}

// Chunks of 480 samples (10 ms at 48 kHz), captured at the given moments.
TEST(SampleClockTest, CountsSamplesAndFillsOnlyRealGaps) {
    struct Step {
        std::int64_t timeUs;
        std::int64_t shift;
    };
    const Step steps[] = {
        {1'000'000, 0},     // the first chunk sets the count's start
        {1'012'000, 0},     // 2 ms late: jitter, the count stands
        {1'035'000, 0},     // 15 ms late: still within the tolerance
        {1'080'000, 2400},  // 50 ms late: samples lost, filled with 50 ms of silence
        {1'090'000, 0},     // on time again
        {1'070'000, -480},  // 30 ms early: samples sent twice, the whole chunk left out
        {1'100'000, 0},
    };
    platform::sound::SampleClock clock(48000, 20'000);
    for (const Step& step : steps) {
        EXPECT_EQ(clock.Place(step.timeUs, 480), step.shift) << step.timeUs;
    }
    EXPECT_EQ(clock.FirstUs(), 1'000'000);
}

std::vector<std::byte> Bytes(std::size_t count, int first) {
    std::vector<std::byte> bytes(count);
    for (std::size_t i = 0; i < count; ++i) bytes[i] = std::byte(first + static_cast<int>(i));
    return bytes;
}

TEST(SampleBufferTest, HandsOutWholeSamplesInOrderAcrossTheRingsEnd) {
    platform::sound::SampleBuffer buffer(8, 2);
    std::vector<std::byte> out;
    buffer.Put(Bytes(6, 1).data(), 6);
    EXPECT_EQ(buffer.Take(out, 5), 4u);  // whole samples only
    buffer.Put(Bytes(6, 7).data(), 6);   // wraps round the end
    EXPECT_EQ(buffer.Available(), 8u);
    EXPECT_EQ(buffer.Take(out, 100), 8u);
    EXPECT_EQ(out, Bytes(12, 1));
    EXPECT_EQ(buffer.Take(out, 100), 0u);
}

TEST(SampleBufferTest, WhatDoesNotFitComesAsSilenceInItsPlace) {
    platform::sound::SampleBuffer buffer(8, 2);
    std::vector<std::byte> out;
    buffer.Put(Bytes(6, 1).data(), 6);
    buffer.Put(Bytes(4, 20).data(), 4);  // does not fit: lost
    buffer.Put(Bytes(2, 30).data(), 2);  // would fit, but belongs after the loss
    buffer.PutSilence(2);
    EXPECT_EQ(buffer.Available(), 6u + 8u);
    EXPECT_EQ(buffer.Take(out, 8), 8u);
    buffer.Put(Bytes(2, 40).data(), 2);  // still behind the loss not handed out
    EXPECT_EQ(buffer.Take(out, 100), 8u);
    buffer.Put(Bytes(2, 50).data(), 2);
    EXPECT_EQ(buffer.Take(out, 100), 2u);
    std::vector<std::byte> expected = Bytes(6, 1);
    expected.resize(6 + 10, std::byte{0});
    const auto after = Bytes(2, 50);
    expected.insert(expected.end(), after.begin(), after.end());
    EXPECT_EQ(out, expected);
}

}  // namespace
