#include "platform/net/bound_stream_pair.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

namespace {

using platform::net::InputStream;
using platform::net::makeBoundStreamPair;

constexpr auto kPatience = std::chrono::seconds(10);

std::vector<uint8_t> patternOf(size_t size) {
  std::vector<uint8_t> bytes(size);
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
  return bytes;
}

// The reader's waker, as a future that is ready once the waker ran.
std::future<void> wokenOnce(InputStream& input) {
  auto woken = std::make_shared<std::promise<void>>();
  auto once = std::make_shared<std::once_flag>();
  input.setWaker([woken, once] { std::call_once(*once, [&] { woken->set_value(); }); });
  return woken->get_future();
}

TEST(BoundStreamPairTest, LargeWriteReachesTheReaderWithoutGaps) {
  const std::vector<uint8_t> sent = patternOf(1 << 20);
  auto pair = makeBoundStreamPair(32768, static_cast<int64_t>(sent.size()));
  EXPECT_EQ(pair.input->length(), static_cast<int64_t>(sent.size()));
  uint8_t probe = 0;
  EXPECT_EQ(pair.input->read(&probe, 1), InputStream::kWouldBlock);
  std::future<void> woken = wokenOnce(*pair.input);
  auto written = std::async(std::launch::async, [&] {
    const int64_t count = pair.output->write(sent.data(), sent.size());
    pair.output->close();
    return count;
  });
  ASSERT_EQ(woken.wait_for(kPatience), std::future_status::ready);
  // From the first wake-up on, the whole write is there to read, in reads larger than the
  // buffer: the writer's remaining bytes are read from where it holds them.
  std::vector<uint8_t> received;
  uint8_t buffer[65536];
  for (;;) {
    const int64_t n = pair.input->read(buffer, sizeof buffer);
    ASSERT_NE(n, InputStream::kWouldBlock) << "after " << received.size() << " bytes";
    ASSERT_GE(n, 0);
    if (received.size() + static_cast<size_t>(n) < sent.size()) {
      EXPECT_EQ(n, static_cast<int64_t>(sizeof buffer));
    }
    received.insert(received.end(), buffer, buffer + n);
    if (received.size() == sent.size()) break;
  }
  ASSERT_EQ(written.wait_for(kPatience), std::future_status::ready);
  EXPECT_EQ(written.get(), static_cast<int64_t>(sent.size()));
  EXPECT_EQ(pair.input->read(buffer, sizeof buffer), 0);  // then the end
  EXPECT_EQ(received, sent);
}

TEST(BoundStreamPairTest, ClosedReaderReleasesABlockedWriter) {
  const std::vector<uint8_t> sent = patternOf(200000);
  auto pair = makeBoundStreamPair(1000);
  std::future<void> woken = wokenOnce(*pair.input);
  auto written = std::async(std::launch::async, [&] {
    const int64_t first = pair.output->write(sent.data(), sent.size());
    const int64_t second = pair.output->write(sent.data(), sent.size());
    return std::make_pair(first, second);
  });
  ASSERT_EQ(woken.wait_for(kPatience), std::future_status::ready);
  uint8_t buffer[5000];
  ASSERT_EQ(pair.input->read(buffer, sizeof buffer), 5000);
  EXPECT_TRUE(std::equal(buffer, buffer + 5000, sent.begin()));
  pair.input->close();
  ASSERT_EQ(written.wait_for(kPatience), std::future_status::ready);
  // The write answers what the reader took; the next one finds the stream closed.
  const auto [first, second] = written.get();
  EXPECT_EQ(first, 5000);
  EXPECT_EQ(second, -1);
  ASSERT_TRUE(pair.output->streamError());
  EXPECT_EQ(pair.output->streamError()->code(), 32);
  EXPECT_FALSE(pair.output->open());
}

TEST(BoundStreamPairTest, SmallWritesReturnAtOnceAndTheEndFollowsTheBytes) {
  auto pair = makeBoundStreamPair(16);
  ASSERT_TRUE(pair.output->open());
  const uint8_t bytes[] = {1, 2, 3, 4, 5};
  EXPECT_EQ(pair.output->write(bytes, 5), 5);
  EXPECT_EQ(pair.output->write(bytes, 0), 0);
  pair.output->close();
  uint8_t buffer[16];
  EXPECT_TRUE(pair.input->hasBytesAvailable());
  EXPECT_EQ(pair.input->read(buffer, 3), 3);
  EXPECT_EQ(pair.input->read(buffer + 3, sizeof buffer - 3), 2);
  EXPECT_TRUE(std::equal(bytes, bytes + 5, buffer));
  EXPECT_EQ(pair.input->read(buffer, sizeof buffer), 0);
  EXPECT_FALSE(pair.input->hasBytesAvailable());
  EXPECT_EQ(pair.output->write(bytes, 5), -1);  // written after the end
}

}  // namespace
