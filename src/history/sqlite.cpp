#include "history/sqlite.h"

#include <cerrno>
#include <cstring>
#include <sqlite3.h>

namespace kelvalog {

std::string EHistoryError::Cause() const
{
    if (FSystemError != 0)
        return std::strerror(FSystemError);
    // A full disk can come without the system's word for it.
    if ((FCode & 0xff) == SQLITE_FULL)
        return std::strerror(ENOSPC);
    return what();
}

TSqliteDatabase::TSqliteDatabase(const std::string& Path, bool ReadOnly)
{
    const int Flags = ReadOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    const int Code = sqlite3_open_v2(Path.c_str(), &FDb, Flags | SQLITE_OPEN_NOMUTEX, nullptr);
    if (Code != SQLITE_OK) {
        const std::string Text = FDb ? sqlite3_errmsg(FDb) : sqlite3_errstr(Code);
        const int System = FDb ? sqlite3_system_errno(FDb) : 0;
        sqlite3_close(FDb);
        FDb = nullptr;
        throw EHistoryError(Text, Code, System);
    }
    sqlite3_extended_result_codes(FDb, 1);
    // A reader waits out a writer's checkpoint instead of failing.
    sqlite3_busy_timeout(FDb, 5000);
}

TSqliteDatabase::~TSqliteDatabase()
{
    sqlite3_close_v2(FDb);
}

void TSqliteDatabase::Fail(int Code) const
{
    throw EHistoryError(sqlite3_errmsg(FDb), Code, sqlite3_system_errno(FDb));
}

void TSqliteDatabase::Execute(const char* Sql)
{
    const int Code = sqlite3_exec(FDb, Sql, nullptr, nullptr, nullptr);
    if (Code != SQLITE_OK)
        Fail(Code);
}

TSqliteStatement::TSqliteStatement(TSqliteDatabase& Db, const char* Sql) : FDb(Db)
{
    const int Code =
        sqlite3_prepare_v3(Db.Handle(), Sql, -1, SQLITE_PREPARE_PERSISTENT, &FStatement, nullptr);
    if (Code != SQLITE_OK)
        Db.Fail(Code);
}

TSqliteStatement::~TSqliteStatement()
{
    sqlite3_finalize(FStatement);
}

TSqliteStatement& TSqliteStatement::Bind(int Index, std::int64_t Value)
{
    sqlite3_bind_int64(FStatement, Index, Value);
    return *this;
}

TSqliteStatement& TSqliteStatement::Bind(int Index, double Value)
{
    sqlite3_bind_double(FStatement, Index, Value);
    return *this;
}

TSqliteStatement& TSqliteStatement::BindNull(int Index)
{
    sqlite3_bind_null(FStatement, Index);
    return *this;
}

TSqliteStatement& TSqliteStatement::BindBlob(int Index, const void* Data, int Bytes)
{
    sqlite3_bind_blob(FStatement, Index, Data, Bytes, SQLITE_TRANSIENT);
    return *this;
}

TSqliteStatement& TSqliteStatement::BindText(int Index, const std::string& Text)
{
    sqlite3_bind_text(FStatement, Index, Text.data(), static_cast<int>(Text.size()),
                      SQLITE_TRANSIENT);
    return *this;
}

bool TSqliteStatement::Step()
{
    const int Code = sqlite3_step(FStatement);
    if (Code == SQLITE_ROW)
        return true;
    sqlite3_reset(FStatement);
    if (Code != SQLITE_DONE)
        FDb.Fail(Code);
    return false;
}

void TSqliteStatement::Run()
{
    while (Step()) {
    }
}

void TSqliteStatement::Reset()
{
    sqlite3_reset(FStatement);
}

std::int64_t TSqliteStatement::Integer(int Column) const
{
    return sqlite3_column_int64(FStatement, Column);
}

double TSqliteStatement::Real(int Column) const
{
    return sqlite3_column_double(FStatement, Column);
}

bool TSqliteStatement::IsNull(int Column) const
{
    return sqlite3_column_type(FStatement, Column) == SQLITE_NULL;
}

const void* TSqliteStatement::Blob(int Column, int& Bytes) const
{
    const void* Data = sqlite3_column_blob(FStatement, Column);
    Bytes = sqlite3_column_bytes(FStatement, Column);
    return Data;
}

TSqliteTransaction::TSqliteTransaction(TSqliteDatabase& Db) : FDb(Db)
{
    FDb.Execute("BEGIN IMMEDIATE");
}

TSqliteTransaction::~TSqliteTransaction()
{
    if (FOpen)
        sqlite3_exec(FDb.Handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void TSqliteTransaction::Commit()
{
    FDb.Execute("COMMIT");
    FOpen = false;
}

} // namespace kelvalog
