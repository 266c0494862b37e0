#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace kelvalog {

// A failure of the history's database. SystemError is the operating system's
// error number behind it, when there was one.
class EHistoryError : public std::runtime_error
{
public:
    EHistoryError(const std::string& What, int Code, int SystemError)
        : std::runtime_error(What), FCode(Code), FSystemError(SystemError)
    {
    }
    int Code() const { return FCode; }
    int SystemError() const { return FSystemError; }
    // The cause as a user reads it: the system's text when there is one.
    std::string Cause() const;

private:
    int FCode;
    int FSystemError;
};

// One database connection.
class TSqliteDatabase
{
public:
    TSqliteDatabase(const std::string& Path, bool ReadOnly);
    ~TSqliteDatabase();
    TSqliteDatabase(const TSqliteDatabase&) = delete;
    TSqliteDatabase& operator=(const TSqliteDatabase&) = delete;

    void Execute(const char* Sql);
    [[noreturn]] void Fail(int Code) const;
    sqlite3* Handle() const { return FDb; }

private:
    sqlite3* FDb = nullptr;
};

// A prepared statement, reset for its next use when a step ends.
class TSqliteStatement
{
public:
    TSqliteStatement(TSqliteDatabase& Db, const char* Sql);
    ~TSqliteStatement();
    TSqliteStatement(const TSqliteStatement&) = delete;
    TSqliteStatement& operator=(const TSqliteStatement&) = delete;

    TSqliteStatement& Bind(int Index, std::int64_t Value);
    TSqliteStatement& Bind(int Index, double Value);
    TSqliteStatement& BindNull(int Index);
    TSqliteStatement& BindBlob(int Index, const void* Data, int Bytes);
    TSqliteStatement& BindText(int Index, const std::string& Text);
    // True while a row is there to read; false at the end, then reset.
    bool Step();
    // Runs to the end.
    void Run();
    void Reset();

    std::int64_t Integer(int Column) const;
    double Real(int Column) const;
    bool IsNull(int Column) const;
    const void* Blob(int Column, int& Bytes) const;

private:
    TSqliteDatabase& FDb;
    sqlite3_stmt* FStatement = nullptr;
};

// A transaction that is rolled back unless committed.
class TSqliteTransaction
{
public:
    explicit TSqliteTransaction(TSqliteDatabase& Db);
    ~TSqliteTransaction();
    TSqliteTransaction(const TSqliteTransaction&) = delete;
    TSqliteTransaction& operator=(const TSqliteTransaction&) = delete;
    void Commit();

private:
    TSqliteDatabase& FDb;
    bool FOpen = true;
};

} // namespace kelvalog
