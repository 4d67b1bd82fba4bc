#pragma once

#include "db/schema.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace tvq52 {

// PostgreSQL's text form of the values this program stores: what a
// parameter, an array element or a row sent to the server carries. A null
// QByteArray stands for NULL throughout; an empty one is the empty text.

// A Boolean: "t" or "f".
QByteArray serverBoolText(bool value);
// The shortest text that reads back as the same single, whatever the
// user's locale.
QByteArray serverRealText(float value);
// A value of `column` as PostgreSQL reads it in text form; a null
// QByteArray for NULL. Floats keep their single-precision value exactly.
QByteArray serverText(const ColumnDef& column, const QVariant& value);
// The text PostgreSQL returned for `column` as the value SQLite would give
// back: integers, doubles, 0/1 for Booleans, "yyyy-mm-dd" dates, texts.
QVariant fromServerText(const ColumnDef& column, const char* text);
// The column's type as a cast in a statement, so that parameters are typed.
QString serverCast(const ColumnDef& column);

// One element of an array literal: NULL, or the text between double
// quotes with its quotes and backslashes escaped; everything else
// (tabs, line ends, any byte of UTF-8) travels as it is.
void appendServerArrayElement(QByteArray& literal, const QByteArray& element);

// The text of an array parameter ("{...}"), built element by element: a whole
// column of a batch travels as one parameter.
class ServerArray {
public:
    // A null QByteArray is NULL.
    void append(const QByteArray& element);
    QByteArray finish();

private:
    QByteArray text_ = QByteArrayLiteral("{");
};

} // namespace tvq52
