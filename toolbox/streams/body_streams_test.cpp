#include <gtest/gtest.h>

#include <thread>

#include "platform/foundation/log.h"
#include "platform/testing/main_loop.h"
#include "toolbox/streams/gather_input_stream.h"
#include "toolbox/streams/mime_document.h"
#include "toolbox/streams/read_monitor_input_stream.h"

namespace {

using platform::Bytes;
using platform::bytesOf;
using platform::stringOf;

std::shared_ptr<const Bytes> buffer(std::string_view text) {
  return std::make_shared<const Bytes>(bytesOf(text));
}

std::string readSome(platform::net::InputStream& stream, size_t count) {
  std::string out(count, '\0');
  const int64_t read = stream.read(reinterpret_cast<uint8_t*>(out.data()), count);
  out.resize(read > 0 ? static_cast<size_t>(read) : 0);
  return out;
}

std::string readAll(platform::net::InputStream& stream) {
  std::string all;
  for (std::string piece = readSome(stream, 7); !piece.empty(); piece = readSome(stream, 7)) {
    all += piece;
  }
  return all;
}

TEST(GatherInputStreamTest, ReadsAcrossBuffersSkippingEmptyOnes) {
  ZSDK_ZTMGatherInputStream stream({buffer("abc"), buffer(""), buffer("de")});
  EXPECT_EQ(stream.streamStatus(), ZTMStreamStatus::NotOpen);
  stream.open();
  EXPECT_EQ(stream.streamStatus(), ZTMStreamStatus::Open);
  EXPECT_EQ(readSome(stream, 4), "abcd");
  EXPECT_EQ(stream.absoluteOffset(), 4);
  EXPECT_EQ(stream.streamStatus(), ZTMStreamStatus::Open);
  EXPECT_EQ(readSome(stream, 4), "e");
  EXPECT_EQ(stream.streamStatus(), ZTMStreamStatus::AtEnd);
  EXPECT_EQ(readSome(stream, 4), "");
  stream.close();
  EXPECT_EQ(stream.streamStatus(), ZTMStreamStatus::Closed);
}

TEST(GatherInputStreamTest, SettingTheAbsoluteOffset) {
  ZSDK_ZTMGatherInputStream stream({buffer("abc"), buffer("de")});
  stream.open();
  struct Case {
    int64_t set;
    int64_t offset;
    std::string rest;
  };
  for (const Case& c :
       {Case{3, 3, "de"}, Case{10, 5, ""}, Case{-5, 0, "abcde"}, Case{4, 4, "e"}, Case{5, 5, ""}}) {
    stream.setAbsoluteOffset(c.set);
    EXPECT_EQ(stream.absoluteOffset(), c.offset) << c.set;
    EXPECT_EQ(readAll(stream), c.rest) << c.set;
  }
}

TEST(MIMEDocumentTest, EmptyDocumentIsTheEndMarkerAlone) {
  ZSDK_ZTMMIMEDocument document;
  ZSDK_ZTMMIMEDocument::Generated body = document.generateInputStream();
  EXPECT_EQ(body.boundary, "END_OF_PART");
  EXPECT_EQ(body.length, 19u);
  body.stream->open();
  EXPECT_EQ(readAll(*body.stream), "\r\n--END_OF_PART--\r\n");
}

TEST(MIMEDocumentTest, BodyIsByteExactWithSortedHeaders) {
  ZSDK_ZTMMIMEDocument document;
  document.addPartWithHeaders({{"b", "2"}, {"A", "1"}}, bytesOf("first"));
  document.addPartWithHeaders({{"Content-Type", "text/plain"}}, bytesOf(""));
  ZSDK_ZTMMIMEDocument::Generated body = document.generateInputStream();
  const std::string expected =
      "\r\n--END_OF_PART\r\nA: 1\r\nb: 2\r\n\r\nfirst"
      "\r\n--END_OF_PART\r\nContent-Type: text/plain\r\n\r\n"
      "\r\n--END_OF_PART--\r\n";
  body.stream->open();
  EXPECT_EQ(readAll(*body.stream), expected);
  EXPECT_EQ(body.length, expected.size());
}

TEST(MIMEDocumentTest, BoundaryAvoidsTextInParts) {
  ZSDK_ZTMMIMEDocument document;
  document.seedRandomWith(1);
  document.addPartWithHeaders({}, bytesOf("xx END_OF_PART_00000001 yy"));
  EXPECT_EQ(document.boundary(), "END_OF_PART_00000002");
  // A later part may hold the chosen boundary: adding it chooses again.
  document.addPartWithHeaders({{"X", "END_OF_PART_00000002"}}, bytesOf(""));
  EXPECT_EQ(document.boundary(), "END_OF_PART_00000003");
  // A match must lie wholly inside the header block or the body, not across them.
  ZSDK_ZTMMIMEPart split({{"K", "END_OF"}}, bytesOf("_PART"));
  const std::string needle = "END_OF_PART";
  EXPECT_FALSE(split.containsBytes(reinterpret_cast<const uint8_t*>(needle.data()), needle.size()));
}

TEST(MIMEDocumentTest, GivesUpAfterTenCollisionsWithTwoRandomNumbers) {
  ZSDK_ZTMMIMEDocument document;
  document.seedRandomWith(1);
  std::string body = "END_OF_PART";
  for (int n = 1; n <= 10; ++n) body += platform::format(" END_OF_PART_%08x", n);
  document.addPartWithHeaders({}, bytesOf(body));
  EXPECT_EQ(document.boundary(), "0000000b_vesprix_0000000c");
}

TEST(ReadMonitorInputStreamTest, ReportsReadsOnTheMainQueue) {
  auto delegate = std::make_shared<int>(0);
  auto monitor = ZSDK_ZTMReadMonitorInputStream::inputStreamWithStream(
      platform::net::makeDataInputStream(bytesOf("hello world")));
  std::string seen;
  int calls = 0;
  monitor->setReadDelegate(
      delegate, [&](ZSDK_ZTMReadMonitorInputStream& from, const uint8_t* bytes, int64_t length) {
        EXPECT_EQ(&from, monitor.get());
        EXPECT_TRUE(platform::isMainThread());
        seen.append(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
        ++calls;
      });
  monitor->open();
  EXPECT_EQ(readSome(*monitor, 6), "hello ");
  EXPECT_EQ(seen, "hello ");
  std::thread([&] { EXPECT_EQ(readSome(*monitor, 100), "world"); }).join();
  EXPECT_EQ(seen, "hello ");
  ASSERT_TRUE(platform::testing::runMainLoopUntil([&] { return seen == "hello world"; }));
  // No report for the end, and none once the delegate is gone.
  EXPECT_EQ(readSome(*monitor, 10), "");
  delegate.reset();
  ASSERT_TRUE(monitor->rewind());
  EXPECT_EQ(readSome(*monitor, 5), "hello");
  platform::testing::drainMainLoop();
  EXPECT_EQ(calls, 2);
}

}  // namespace
