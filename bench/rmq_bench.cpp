// rmq: save 10k upstream data messages in the reliable-message store and delete them one by one
// as their confirmations arrive, vs the same statements prepared, bound, stepped and finalized by
// hand on a database of the same tables (each statement its own transaction, as in the store).
#include <sqlite3.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "bench/bench_report.h"
#include "messaging/rmq/zcm_rmq_manager.h"
#include "messaging/wire/dudev_core.pb.h"
#include "platform/testing/test_app.h"

namespace {

constexpr int kMessages = 10000;

DudevDataMessageStanza message(int i) {
  DudevDataMessageStanza stanza;
  stanza.set_from("com.example.app");
  stanza.set_category("com.example.app");
  stanza.set_raw_data(std::string(64 + i % 64, 'r'));
  return stanza;
}

void ours(int run) {
  const std::string name = "ours" + std::to_string(run);
  ZCMRmqManager manager(name);
  manager.loadRmqId();
  std::vector<std::string> ids;
  for (int i = 0; i < kMessages; ++i) {
    DudevDataMessageStanza stanza = message(i);
    manager.saveRmqMessage(stanza, nullptr);
    ids.push_back(stanza.persistent_id());
  }
  for (const std::string& id : ids) manager.removeRmqMessagesWithRmqId(id);
}

void step(sqlite3* database, const char* sql, int64_t first, int64_t second = 0,
          const std::string* blob = nullptr) {
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(database, sql, -1, &statement, nullptr);
  sqlite3_bind_int64(statement, 1, first);
  if (blob) {
    sqlite3_bind_int64(statement, 2, second);
    sqlite3_bind_blob64(statement, 3, blob->data(), blob->size(), SQLITE_TRANSIENT);
  }
  sqlite3_step(statement);
  sqlite3_finalize(statement);
}

void baseline(int run) {
  const std::filesystem::path path =
      ZCMRmq2PersistentStore::pathForDatabase("plain" + std::to_string(run));
  sqlite3* database = nullptr;
  sqlite3_open(path.c_str(), &database);
  sqlite3_exec(database,
               "create TABLE IF NOT EXISTS outgoingRmqMessages (_id INTEGER PRIMARY KEY, rmq_id "
               "INTEGER, type INTEGER, ts INTEGER, data BLOB)",
               nullptr, nullptr, nullptr);
  for (int i = 0; i < kMessages; ++i) {
    DudevDataMessageStanza stanza = message(i);
    stanza.set_persistent_id(std::to_string(i + 2));
    const std::string data = stanza.SerializeAsString();
    step(database, "INSERT INTO outgoingRmqMessages (rmq_id, type, data) VALUES (?, ?, ?)", i + 2,
         8, &data);
  }
  for (int i = 0; i < kMessages; ++i) {
    step(database, "DELETE FROM outgoingRmqMessages WHERE  rmq_id = ?", i + 2);
  }
  sqlite3_close(database);
}

}  // namespace

int main() {
  // The databases live in memory-backed storage where there is some: both paths commit every
  // statement, and a shared disk's flush times would swamp the difference being measured.
  if (std::filesystem::is_directory("/dev/shm")) setenv("TMPDIR", "/dev/shm", 1);
  platform::testing::TestApp app;
  int oursRun = 0;
  int baselineRun = 0;
  const bench::Medians medians =
      bench::medianSecondsInTurns([&] { ours(oursRun++); }, [&] { baseline(baselineRun++); }, 3);
  bench::report("rmq", medians.ours * 1000, medians.baseline * 1000, "ms");
  return 0;
}
