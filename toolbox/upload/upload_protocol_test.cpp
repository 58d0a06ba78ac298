#include "toolbox/upload/upload_protocol.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

namespace up = upload_protocol;

TEST(UploadProtocolTest, ChunkPlans) {
  struct Case {
    int64_t offset, chunkSize, granularity, fullLength;
    bool file;
    int64_t wantOffset, wantLength;
    const char* command;
  };
  constexpr int64_t kMiB = 1024 * 1024;
  constexpr int64_t kUnlimited = std::numeric_limits<int64_t>::max();
  for (const Case& c : {
           Case{0, 10000, 0, 25000, false, 0, 10000, "upload"},
           Case{10000, 10000, 0, 25000, false, 10000, 10000, "upload"},
           Case{20000, 10000, 0, 25000, false, 20000, 5000, "upload, finalize"},
           // A tail under 2,500 bytes rides with the chunk before it.
           Case{10000, 10000, 0, 21000, false, 10000, 11000, "upload, finalize"},
           Case{0, 10000, 0, 12499, false, 0, 12499, "upload, finalize"},
           Case{0, 10000, 0, 12500, false, 0, 10000, "upload"},
           // Granularity rounds sizes down (or up to one unit) and offsets down.
           Case{0, 10000, 4096, 100000, false, 0, 8192, "upload"},
           Case{0, 1000, 4096, 100000, false, 0, 4096, "upload"},
           Case{9000, 10000, 4096, 100000, false, 8192, 8192, "upload"},
           // The 10 MiB cap, which a whole file from its start may skip.
           Case{0, kUnlimited, 0, 30 * kMiB, false, 0, 10 * kMiB, "upload"},
           Case{0, kUnlimited, 0, 30 * kMiB, true, 0, 30 * kMiB, "upload, finalize"},
           Case{kMiB, kUnlimited, 0, 30 * kMiB, true, kMiB, 10 * kMiB, "upload"},
           Case{0, 0, 0, 30 * kMiB, false, 0, 10 * kMiB, "upload"},
           // Nothing left: a bare finalize.
           Case{0, 10000, 0, 0, false, 0, 0, "finalize"},
           Case{25000, 10000, 0, 25000, false, 25000, 0, "finalize"},
       }) {
    const up::ChunkPlan plan =
        up::planChunk(c.offset, c.chunkSize, c.granularity, c.fullLength, c.file);
    EXPECT_EQ(plan.offset, c.wantOffset) << c.offset << "/" << c.fullLength;
    EXPECT_EQ(plan.length, c.wantLength) << c.offset << "/" << c.fullLength;
    EXPECT_EQ(plan.command, c.command) << c.offset << "/" << c.fullLength;
  }
}

TEST(UploadProtocolTest, ServerCountsAndStatuses) {
  EXPECT_EQ(up::parseByteCount("0"), 0);
  EXPECT_EQ(up::parseByteCount(" 25000 "), 25000);
  EXPECT_EQ(up::parseByteCount("9223372036854775807"), std::numeric_limits<int64_t>::max());
  for (const char* bad : {"", " ", "-5", "+5", "12a", "0x10", "1e3", "9223372036854775808",
                          "99999999999999999999", "1 2"}) {
    EXPECT_EQ(up::parseByteCount(bad), std::nullopt) << bad;
  }
  EXPECT_EQ(up::parseGranularity(std::nullopt), 0);
  EXPECT_EQ(up::parseGranularity("-4096"), 0);
  EXPECT_EQ(up::parseGranularity("4096"), 4096);
  EXPECT_EQ(up::parseStatus(std::nullopt), up::UploadStatus::Missing);
  EXPECT_EQ(up::parseStatus("active"), up::UploadStatus::Active);
  EXPECT_EQ(up::parseStatus("Final"), up::UploadStatus::Final);
  EXPECT_EQ(up::parseStatus("finalized"), up::UploadStatus::Other);
}

}  // namespace
