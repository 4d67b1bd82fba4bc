#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

namespace tvq52 {

// One record of an exchange file as the reader meets it.
struct ExchangeRecord {
    enum class Kind { Section, Fields, Cut };
    Kind kind = Kind::Fields;
    qint64 line = 0;           // where the record starts, from 1
    QString section;           // for Section: the name between the markers
    QStringList fields;        // for Fields
    bool unterminated = false; // the file's last line, without a line end
};

// Reads an exchange file record by record, never holding more than one record:
// a quoted field may run over several lines and hold ";" or a line that starts
// with "//" without ending the record or starting a section.
class ExchangeReader {
public:
    bool open(const QString& path, QString* error);
    // False at the end of the file.
    bool next(ExchangeRecord* record);
    qint64 bytesRead() const { return file_.pos(); }
    qint64 size() const { return file_.size(); }

private:
    QString decode(const QByteArray& bytes) const;
    QFile file_;
    qint64 line_ = 0;
    bool utf8_ = false;
};

} // namespace tvq52
