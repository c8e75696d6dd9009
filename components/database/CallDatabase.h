// The call database as the program uses it: one table of text fields, records numbered from 1.
#pragma once

#include "QueryArray.h"
#include "VbError.h"

#include <QString>
#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace kalvo {

// The names of the record's fields, as the store and every client of it spell them.
namespace CallField {
inline constexpr char Name[] = "Call_Name";
inline constexpr char Number[] = "Call_Number";
inline constexpr char Time[] = "Call_Time";
inline constexpr char Date[] = "Call_Date";
inline constexpr char MessageName[] = "Call_Massage_Name";
inline constexpr char Type[] = "Type";
inline constexpr char Read[] = "Read";
} // namespace CallField

// The record store the main window keeps as DataBase1. Every operation raises kalvo::VbError
// (a number and a description) when it cannot do what it was asked; nothing is reported through
// return values.
class CallDatabase
{
public:
    virtual ~CallDatabase() = default;

    // Fills `result` with every record: row = record number 1..RecordCount, column = FieldIndex.
    // The only command is "Get *"; any other text raises error 5.
    virtual void Query(const QString& command, QueryArray& result) = 0;
    // Makes record `recordNumber` (1..RecordCount, insertion order) current; error 9 otherwise.
    virtual void MoveTo(int recordNumber) = 0;
    // Makes the first record current; error 3021 when there are no records.
    virtual void MoveFirst() = 0;
    // Opens the store in the folder `callsFolder` (created with its file when absent).
    virtual void Open(const QString& callsFolder) = 0;
    // Sets a field of the record being added or edited; error 3265 for an unknown field name,
    // 3020 without AddNew or Edit.
    virtual void SetField(const QString& fieldName, const QString& value) = 0;
    // Sets a field to an integer, stored as its decimal text (the read state is set this way).
    virtual void SetField(const QString& fieldName, qint16 value) = 0;
    // Removes the current record; later records move down one number. No record is current after.
    virtual void Delete() = 0;
    // Removes every record.
    virtual void DeleteAll() = 0;
    // The text of a field in the current record (or in the record being added or edited).
    virtual QString GetField(const QString& fieldName) = 0;
    // Stores the record being added or edited, as one committed transaction.
    virtual void Update() = 0;
    // Opens the current record for change; its fields keep their values until set.
    virtual void Edit() = 0;
    // Starts a new record with empty fields, appended after the last one by Update.
    virtual void AddNew() = 0;
    // Number of records.
    virtual int RecordCount() = 0;
    // Column of a field in the Query array (1-based); error 3265 for an unknown field name.
    virtual int FieldIndex(const QString& fieldName) = 0;
    // The identity of record `recordNumber` (1..RecordCount): it never changes while the record
    // exists and is never given to another record; later records have larger ids. Error 9 for a
    // number out of range. This default, for a store without ids, is the record number itself.
    virtual qint64 RecordId(int recordNumber)
    {
        if (recordNumber < 1 || recordNumber > RecordCount())
            throw VbError(VbSubscriptOutOfRange);
        return recordNumber;
    }

    // The fields of one record as UTF-8, in the Query array's column order.
    using RecordTexts = std::array<std::string_view, 7>;
    // Calls visit for every record in record-number order, as Query would list them, without
    // holding them all at once; the texts are valid during the call only. Errors as Query. This
    // default goes through Query; a store may read its records one by one instead.
    virtual void ForEachRecord(const std::function<void(const RecordTexts&)>& visit)
    {
        QueryArray all;
        Query(QStringLiteral("Get *"), all);
        for (int row = 1; row <= all.rows(); ++row) {
            std::array<std::string, 7> utf8;
            RecordTexts texts;
            for (int column = 0; column < 7; ++column) {
                utf8[size_t(column)] = all.at(row, column + 1).toStdString();
                texts[size_t(column)] = utf8[size_t(column)];
            }
            visit(texts);
        }
    }
};

} // namespace kalvo
