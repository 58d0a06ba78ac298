#pragma once
// Owners of the SQLite handles, so no function closes or finalizes one by hand.
#include <sqlite3.h>

#include <memory>

struct ZCMSQLiteCloser {
  void operator()(sqlite3* database) const { sqlite3_close(database); }
};
struct ZCMSQLiteFinalizer {
  void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};

using ZCMSQLiteDatabase = std::unique_ptr<sqlite3, ZCMSQLiteCloser>;
using ZCMSQLiteStatement = std::unique_ptr<sqlite3_stmt, ZCMSQLiteFinalizer>;
