#include "exchange/exchange_import.h"

#include "core/message_words.h"
#include "core/own_words.h"
#include "core/regular_file.h"
#include "db/database.h"
#include "db/fleet_tables.h"
#include "db/row_sink.h"
#include "db/server_rights.h"
#include "evidence/journal.h"
#include "exchange/exchange_convert.h"
#include "exchange/exchange_format.h"
#include "exchange/exchange_reader.h"
#include "i18n/translator.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <optional>

namespace tvq52 {

namespace {

// One import as it goes: the file read record by record, each section's
// records converted to rows, the rows given to the database's sink.
class ImportRun {
public:
    ImportRun(Database& database, const ExchangeImporter& importer, ImportSummary& summary)
        : database_(database), importer_(importer), summary_(summary), journal_(database)
    {}

    // Opens the file, the sink and the journal entry; an error when the
    // import cannot start, which the summary tells too.
    Status open(const QString& path);
    // Reads the file to its end, a cancel or a failure of the database.
    void readAll();
    // Stores what is left, lists it and seals the journal entry.
    void finish(const QString& path);

private:
    Status openSink();
    Status openJournal(const QString& path);
    void enterSection(const ExchangeRecord& record);
    // An error when the file is refused before its rows are read.
    Status checkSignature();
    const TrustStore& trust() const { return importer_.trust ? *importer_.trust : OfficeSigning::trust(); }
    void checkHeader(const ExchangeRecord& record);
    // An error when the import stops at this row: the database's, or one
    // with nothing to tell when the user stopped it.
    Status takeRow(ExchangeRecord& record);
    void refuse(size_t section, const Refusal& why);
    void report(bool force);
    void keepHead();

    Database& database_;
    const ExchangeImporter& importer_;
    ImportSummary& summary_;
    Journal journal_;
    std::optional<qint64> entry_;
    ExchangeReader reader_;
    std::unique_ptr<RowSink> sink_;
    std::vector<SectionConverter> sections_;
    std::optional<size_t> current_; // the known section being read
    bool expectHeader_ = false;
    bool sawSection_ = false;
    // The file as read once before its rows: its digest, its provenance.
    FileScan scan_;
    // The provenance as the rows' read meets it again, to tell a file
    // changed between the two reads.
    FileProvenance readAgain_;
    ProvenanceScan provenance_{reader_, readAgain_};
    ExchangeRecord record_;
    QVariantList values_;
    SinkRow row_;
    QElapsedTimer clock_;
    qint64 rows_ = 0;
    std::vector<qint64> sectionRows_; // rows read per known section
    // The first row reports at once: a small file imports in less than one
    // interval, and the window should show it started (and let it stop).
    qint64 lastReport_ = -100;
    qint64 intervalsBefore_ = -1; // the intervals' highest row number before the import
    // Only an interval with passes marks a night: the section of the
    // intervals and where its passes are in a row, and whether a row given
    // had any (or a value that is no number).
    std::optional<size_t> intervalSection_;
    std::vector<size_t> passPlaces_;
    bool passesGiven_ = false;
};

Status ImportRun::open(const QString& path)
{
    if (const Status opened = reader_.open(path); !opened) {
        summary_.notAFile = isNonRegularFileError(opened.error());
        if (!summary_.notAFile)
            summary_.error = opened.error().detail;
        return opened;
    }
    summary_.opened = true;
    if (Status ready = openSink(); !ready)
        return ready;
    if (Status ready = openJournal(path); !ready)
        return ready;
    if (Status ready = checkSignature(); !ready)
        return ready;
    std::vector<SinkTable> tables;
    for (const ExchangeSection& s : exchangeSections()) {
        sections_.emplace_back(s, database_.dialect());
        tables.push_back(sections_.back().sinkTable());
        if (qstrcmp(tables.back().table->name, "Intervalos") != 0)
            continue;
        intervalSection_ = tables.size() - 1;
        for (size_t c = 0; c < tables.back().columns.size(); ++c)
            for (const char* name : {"IPasadasLocal", "IPasadasVecino"})
                if (qstrcmp(tables.back().columns[c]->name, name) == 0)
                    passPlaces_.push_back(c);
    }
    sectionRows_.assign(sections_.size(), 0);
    sink_->onRefused = [this](size_t section, qint64 line, const QString& message) {
        refuse(section, Refusal{Refusal::Kind::Database, line, QString(), message});
    };
    if (const Status ready = sink_->prepare(tables, *entry_); !ready) {
        summary_.failure = databaseFailureOf(ready.error());
        (void)journal_.seal(*entry_, QStringLiteral("failed"), summary_.failure.detail);
        return Error(0, summary_.failure.detail);
    }
    if (const Result<qint64> last = Journal::lastRow(database_.connection(), QStringLiteral("Intervalos")); last)
        intervalsBefore_ = *last;
    if (const Status begun = sink_->begin(); !begun) {
        summary_.failure = databaseFailureOf(begun.error());
        return Error(0, summary_.failure.detail);
    }
    return {};
}

Status ImportRun::openSink()
{
    Result<std::unique_ptr<RowSink>> sink = openRowSink(database_, importer_.batchRows);
    if (sink.ok()) {
        sink_ = std::move(sink).value();
        return {};
    }
    if (database_.isServer()) {
        summary_.failure = serverFailure(QByteArray(), sink.error().detail, false);
    } else {
        summary_.opened = false;
        summary_.error = sink.error().detail;
    }
    return sink.error();
}

// The records added are journaled with the file's SHA-256, so that every
// stored record has the entry that stored it. The one read that gives it
// reads the file's provenance too.
Status ImportRun::openJournal(const QString& path)
{
    Result<FileScan> scanned = isOwnDatabaseFile(path, database_)
        ? Result<FileScan>(ownWords(QStringLiteral("%1 is the program's own database"), {path}))
        : scanFile(path);
    const QByteArray source = scanned.ok() ? scanned->fileDigest : QByteArray();
    if (!scanned.ok())
        summary_.error = untranslatedText(scanned.error());
    else
        scan_ = std::move(scanned).value();
    if (source.isEmpty()) {
        summary_.opened = false;
        return Error(0, summary_.error);
    }
    const Result<qint64> opened = journal_.open(JournalAction::Import, 0, {}, source);
    if (opened) {
        entry_ = *opened;
        summary_.journalEntry = *entry_;
        return {};
    }
    summary_.opened = false;
    summary_.journalUnwritable = true;
    summary_.error = untranslatedText(opened.error());
    // A full, locked or read-only database is told as such: the import did not start.
    const DatabaseFailure f = journal_.failureOf(opened.error());
    if (f.kind != DatabaseFailure::Kind::Other)
        summary_.failure = f;
    return opened.error();
}

// Rows are stored as they are read, and the signature comes last: the read
// that hashed the file has judged it before, and a signed file that changed
// after signing, or an unsigned one where only signed files are taken, is
// refused before a row is stored.
Status ImportRun::checkSignature()
{
    const FileProvenance& p = scan_.provenance;
    if (!importer_.requireSigned && p.signature.isEmpty())
        return {};
    const ProvenanceVerdict v = judgeProvenance(p, trust());
    MessageWords why = MessageWords::plain({});
    if (v.kind == ProvenanceVerdict::Kind::Changed)
        why = verdictWords(v, p);
    else if (importer_.requireSigned && !v.trusted() && !(importer_.acceptUnsigned && importer_.acceptUnsigned(v)))
        why = unsignedRefusalWords(v);
    const QString refusal = shownIn(why, importer_.translator);
    if (refusal.isEmpty())
        return {};
    summary_.provenance = p;
    summary_.verdict = v;
    summary_.refusal = refusal;
    if (p.present)
        if (const Status kept = journal_.setProvenance(*entry_, provenanceRecord(p, v)); !kept)
            summary_.sealError = untranslatedText(kept.error());
    journal_.setMessageSource(*entry_, why);
    if (const Status sealed = journal_.seal(*entry_, QStringLiteral("failed"), refusal);
        !sealed && summary_.sealError.isEmpty())
        summary_.sealError = untranslatedText(sealed.error());
    keepHead();
    return Error(0, refusal);
}

void ImportRun::report(bool force)
{
    if (!importer_.onProgress || (!force && clock_.elapsed() - lastReport_ < 100))
        return;
    lastReport_ = clock_.elapsed();
    const double seconds = std::max<double>(0.001, double(clock_.elapsed()) / 1000.0);
    importer_.onProgress(ImportProgress{current_ ? sections_[*current_].section().name : QString(),
                                        current_ ? sectionRows_[*current_] : 0, rows_, sink_->added(),
                                        double(rows_) / seconds, reader_.bytesRead(), reader_.size()});
}

void ImportRun::refuse(size_t section, const Refusal& why)
{
    TableImport& table = summary_.tables[section];
    ++table.refused;
    // A batch refuses its rows after later lines were read: keep the
    // first few by line.
    QList<Refusal>& kept = table.firstRefused;
    const auto at = std::upper_bound(kept.begin(), kept.end(), why.line,
                                     [](qint64 line, const Refusal& r) { return line < r.line; });
    if (at - kept.begin() >= importer_.keptRefusals)
        return;
    kept.insert(at, why);
    if (kept.size() > importer_.keptRefusals)
        kept.removeLast();
}

void ImportRun::enterSection(const ExchangeRecord& record)
{
    if (provenance_.enter(record)) {
        current_.reset();
        return;
    }
    // The name only selects one of the known tables; it never names a file.
    current_.reset();
    for (size_t i = 0; i < sections_.size(); ++i)
        if (sections_[i].section().name.compare(record.section, Qt::CaseInsensitive) == 0)
            current_ = i;
    if (!current_)
        summary_.ignoredSections.append(record.section);
    sawSection_ = sawSection_ || current_;
    expectHeader_ = current_.has_value();
    if (current_) {
        const ExchangeSection& s = sections_[*current_].section();
        reader_.setLimits(longestRowBytes(s), int(s.fileColumns.size()));
    } else {
        reader_.setLimits(longestRowBytes(), 1);
    }
}

void ImportRun::checkHeader(const ExchangeRecord& record)
{
    expectHeader_ = false;
    const ExchangeSection& s = sections_[*current_].section();
    QStringList names;
    for (const QString& f : record.fields)
        names << f.trimmed();
    if (record.kind != ExchangeRecord::Kind::Fields
        || names.join(QLatin1Char(';')).compare(s.fileColumns.join(QLatin1Char(';')), Qt::CaseInsensitive) != 0)
        summary_.headerMismatches.append(s.name);
}

Status ImportRun::takeRow(ExchangeRecord& record)
{
    if (importer_.cancelRequested && importer_.cancelRequested()) {
        summary_.cancelled = true;
        return Error();
    }
    ++rows_;
    const size_t section = *current_;
    ++sectionRows_[section];
    const SectionConverter& converter = sections_[section];
    if (!converter.convertBytes(record, row_)) {
        reader_.split(&record);
        if (const std::optional<Refusal> why = converter.convert(record, values_)) {
            refuse(section, *why);
            return {};
        }
        fillSinkRow(values_, row_);
    }
    if (section == intervalSection_ && !passesGiven_)
        for (size_t place : passPlaces_)
            passesGiven_ = passesGiven_
                || (place < row_.size() && !row_.isNull(place)
                    && (row_[place].kind != SinkValue::Kind::Integer || row_[place].integer > 0));
    sink_->addRow(section, record.line, row_);
    if (sink_->failure().failed())
        return Error(0, sink_->failure().detail);
    if ((rows_ & 0xFF) == 0)
        report(false);
    return {};
}

void ImportRun::readAll()
{
    clock_.start();
    reader_.setLimits(longestRowBytes(), 1);
    reader_.setSplitting(false); // most records are read from their bytes
    for (;;) {
        // A read that fails after the scan read the whole file ends the rows
        // there, and the import with it: what follows was never seen.
        const Result<ExchangeReader::Read> got = reader_.next(&record_);
        if (!got) {
            summary_.unreadWhy = got.error().detail;
            summary_.unreadAtLine = record_.line + 1;
            break;
        }
        if (*got == ExchangeReader::Read::EndOfFile)
            break;
        if (record_.kind == ExchangeRecord::Kind::Section) {
            enterSection(record_);
        } else if (provenance_.active()) {
            provenance_.take(record_);
        } else if (!current_) {
            ++summary_.ignoredLines;
        } else if (record_.blank) {
            continue;
        } else if (expectHeader_) {
            reader_.split(&record_);
            checkHeader(record_);
        } else if (!takeRow(record_).ok()) {
            break;
        }
    }
}

void ImportRun::finish(const QString& path)
{
    provenance_.leave(record_.line);
    // The digest is the first read's; a file that changed since then no
    // longer matches it. A read stopped early (the user, a full disk) never
    // reached the section again, which is no sign of a change.
    summary_.provenance = scan_.provenance;
    const bool readToEnd = !summary_.cancelled && !sink_->failure().failed() && summary_.unreadWhy.isEmpty();
    if (reader_.size() != scan_.size || reader_.modified() != scan_.modified
        || (readToEnd
            && (readAgain_.statedDigest != scan_.provenance.statedDigest
                || readAgain_.signature != scan_.provenance.signature)))
        summary_.provenance.readDigest.clear();
    summary_.verdict = judgeProvenance(summary_.provenance, trust());
    sink_->finish(record_.line);
    // The sink commits in batches; the nights of the intervals it added are
    // marked for the office's overview once, in one statement, after them.
    if (intervalsBefore_ >= 0 && passesGiven_)
        (void)markNightsAfterRow(database_.connection(), database_.dialect(), intervalsBefore_);
    for (size_t i = 0; i < sink_->counts().size(); ++i) {
        summary_.tables[i].added = sink_->counts()[i].added;
        summary_.tables[i].present = sink_->counts()[i].present;
        summary_.tables[i].differs = sink_->counts()[i].differs;
    }
    if (sink_->failure().failed()) {
        summary_.failure = sink_->failure();
        summary_.failedAtLine = sink_->failedLine();
    }
    summary_.notExchange = !sawSection_ && !summary_.failure.failed();
    const Status listed = sink_->listAdded();
    QStringList counts;
    for (const TableImport& t : summary_.tables)
        counts
            << QStringLiteral("%1 %2 %3 %4 %5").arg(t.table).arg(t.added).arg(t.present).arg(t.differs).arg(t.refused);
    QString outcome = QStringLiteral("completed");
    QString told = QFileInfo(path).absoluteFilePath();
    if (summary_.cancelled) {
        outcome = QStringLiteral("cancelled");
    } else if (summary_.failure.failed()) {
        outcome = QStringLiteral("failed");
        told = summary_.failure.detail;
    } else if (!listed) {
        outcome = QStringLiteral("failed");
        told = listed.error().detail;
    } else if (!summary_.unreadWhy.isEmpty()) {
        outcome = QStringLiteral("failed");
    } else if (summary_.notExchange) {
        outcome = QStringLiteral("failed");
    }
    // Kept as what it is made of too, for readers in other languages.
    MessageWords words = MessageWords::plain(told);
    if (outcome == QLatin1String("failed") && !summary_.unreadWhy.isEmpty())
        words = MessageWords::of(QStringLiteral("%1: no se ha podido leer (%2)"),
                                 {std::move(words), MessageWords::plain(summary_.unreadWhy)});
    const FileProvenance& provenance = summary_.provenance;
    if (!provenance.trustworthy())
        words = MessageWords::of(QStringLiteral("%1: %2"), {std::move(words), provenanceWarningWords(provenance)});
    else if (summary_.verdict.kind == ProvenanceVerdict::Kind::Changed)
        words =
            MessageWords::of(QStringLiteral("%1: %2"), {std::move(words), verdictWords(summary_.verdict, provenance)});
    const QString message = shownIn(words, importer_.translator);
    journal_.setMessageSource(*entry_, words);
    if (const QByteArray lines = sink_->listedLines(); !lines.isEmpty())
        journal_.setListedLines(*entry_, lines);
    if (provenance.present)
        if (const Status kept = journal_.setProvenance(*entry_, provenanceRecord(provenance, summary_.verdict)); !kept)
            summary_.sealError = untranslatedText(kept.error());
    if (const Status sealed = journal_.seal(*entry_, outcome, message, counts.join(QLatin1Char('\n')));
        !sealed && summary_.sealError.isEmpty())
        summary_.sealError = untranslatedText(sealed.error());
    keepHead();
    report(true);
}

void ImportRun::keepHead()
{
    // A head that cannot be read is told as the journal's failure, never as an empty chain.
    if (const Result<QByteArray> head = journal_.head(); !head) {
        // A failure told already most likely is this one too.
        if (summary_.sealError.isEmpty() && !summary_.failure.failed())
            summary_.sealError = untranslatedText(head.error());
    } else {
        summary_.journalHead = *head;
    }
}

} // namespace

ImportSummary ExchangeImporter::run(const QString& path)
{
    ImportSummary summary;
    for (const ExchangeSection& s : exchangeSections())
        summary.tables.push_back(TableImport{s.name, 0, 0, 0, 0, {}});
    // Nothing of the file is read for a login that may not store it.
    if (const Status allowed = checkRight(database_, Operation::Import); !allowed) {
        summary.failure = databaseFailureOf(allowed.error());
        return summary;
    }
    ImportRun run(database_, *this, summary);
    // The summary says why it could not start.
    if (!run.open(path).ok())
        return summary;
    run.readAll();
    run.finish(path);
    return summary;
}

QString refusalText(const Refusal& r, Translator& translator)
{
    QString text;
    switch (r.kind) {
    case Refusal::Kind::FieldCount:
        text = translator.translate(QStringLiteral("número de campos %1")).arg(r.column);
        break;
    case Refusal::Kind::CutLine:
        text = translator.translate(QStringLiteral("línea cortada"));
        break;
    case Refusal::Kind::NotANumber:
        text = translator.translate(QStringLiteral("%1: \"%2\" no es un número")).arg(r.column, r.value);
        break;
    case Refusal::Kind::OutOfRange:
        text = translator.translate(QStringLiteral("%1: %2 fuera de rango")).arg(r.column, r.value);
        break;
    case Refusal::Kind::NotADate:
        text = translator.translate(QStringLiteral("%1: \"%2\" no es una fecha")).arg(r.column, r.value);
        break;
    case Refusal::Kind::NotATime:
        text = translator.translate(QStringLiteral("%1: \"%2\" no es una hora")).arg(r.column, r.value);
        break;
    case Refusal::Kind::NotABit:
        text = translator.translate(QStringLiteral("%1: \"%2\" no es sí/no")).arg(r.column, r.value);
        break;
    case Refusal::Kind::TooLong:
        text = translator.translate(QStringLiteral("%1: texto demasiado largo")).arg(r.column);
        break;
    case Refusal::Kind::NoKey:
        text = translator.translate(QStringLiteral("%1: falta la clave")).arg(r.column);
        break;
    case Refusal::Kind::Database:
        text = r.value;
        break;
    case Refusal::Kind::ControlCharacter:
        text = translator.translate(QStringLiteral("%1: carácter de control %2")).arg(r.column, r.value);
        break;
    case Refusal::Kind::LineTooLong:
        text = translator.translate(QStringLiteral("línea más larga que la fila más larga posible (%1 bytes)"))
                   .arg(r.column);
        break;
    }
    return translator.translate(QStringLiteral("línea %1")).arg(r.line) + QStringLiteral(": ") + text;
}

QString databaseFailureText(const DatabaseFailure& f, Translator& translator)
{
    const Error told = toldFailure(f, FailureWording::Cause);
    QString why = translator.translate(told.text);
    for (const QString& arg : told.textArgs)
        why = why.arg(arg);
    // The sentence that holds the cause ends it.
    if (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    return told.detail.isEmpty() ? why : why + QStringLiteral(" (") + told.detail + QLatin1Char(')');
}

MessageWords provenanceWarningWords(const FileProvenance& p)
{
    if (p.trustworthy())
        return MessageWords::plain({});
    if (p.damage == FileProvenance::Damage::None)
        return MessageWords::of(
            QStringLiteral("El archivo se ha modificado después de escribirse: su huella SHA-256 (%1) no es "
                           "la que declara su sección de procedencia (%2). Se ha importado lo que se ha "
                           "podido; consulte a la oficina que lo envió."),
            QStringList{QString::fromLatin1(p.readDigest), QString::fromLatin1(p.statedDigest)});
    QString why;
    switch (p.damage) {
    case FileProvenance::Damage::Header:
        why = QStringLiteral("cabecera distinta de la esperada");
        break;
    case FileProvenance::Damage::BadLine:
        why = QStringLiteral("línea no válida");
        break;
    case FileProvenance::Damage::LineTooLong:
        why = QStringLiteral("línea demasiado larga");
        break;
    case FileProvenance::Damage::NoDigest:
        why = QStringLiteral("falta la huella SHA-256");
        break;
    case FileProvenance::Damage::NotLast:
        why = QStringLiteral("no es la última sección");
        break;
    case FileProvenance::Damage::Twice:
        why = QStringLiteral("aparece más de una vez");
        break;
    case FileProvenance::Damage::Signature:
        why = QStringLiteral("firma ilegible o fuera de su sitio");
        break;
    case FileProvenance::Damage::None:
        break;
    }
    return MessageWords::of(QStringLiteral("La sección de procedencia del archivo está dañada (línea %1: %2): no se "
                                           "sabe si el archivo es el que se escribió. Se ha importado lo que se ha "
                                           "podido; consulte a la oficina que lo envió."),
                            {MessageWords::plain(QString::number(p.damageLine)), MessageWords::of(why)});
}

QString provenanceWarning(const FileProvenance& p, Translator* translator)
{
    return shownIn(provenanceWarningWords(p), translator);
}

QString progressText(const ImportProgress& p, const Translator& translator)
{
    return translator.translate(QStringLiteral("%1: %2 filas leídas; en total %3 leídas, %4 añadidas, %5 filas/s"))
        .arg(p.table)
        .arg(p.tableRows)
        .arg(p.rows)
        .arg(p.added)
        .arg(qint64(p.rowsPerSecond));
}

QString progressTotalText(const ImportProgress& p, const Translator& translator)
{
    return translator.translate(QStringLiteral("%1 filas leídas, %2 añadidas, %3 filas/s"))
        .arg(p.rows)
        .arg(p.added)
        .arg(qint64(p.rowsPerSecond));
}

QStringList summaryLines(const ImportSummary& s, Translator& translator)
{
    QStringList lines;
    if (s.notAFile) {
        lines << translator.translate(
            QStringLiteral("No se puede importar: no es un archivo normal (es una carpeta, un dispositivo o una "
                           "tubería)."));
        return lines;
    }
    if (!s.opened && !s.failure.failed()) {
        lines << translator.translate(s.journalUnwritable
                                         ? QStringLiteral("No se puede escribir en el diario de intercambios: %1")
                                         : QStringLiteral("No se pudo leer el archivo: %1"))
                     .arg(s.error);
        return lines;
    }
    if (!s.refusal.isEmpty()) {
        lines << s.refusal;
        return lines;
    }
    if (s.notExchange) {
        lines << translator.translate(
            QStringLiteral("No es un archivo de intercambio: no tiene ninguna sección de registros (//Intervalos//, "
                           "//Sesiones//...). No se ha importado nada."));
        return lines;
    }
    if (s.failure.failed() && s.failedAtLine == 0)
        lines << translator.translate(QStringLiteral("La importación no ha podido empezar: %1. No se ha guardado nada."))
                     .arg(databaseFailureText(s.failure, translator));
    else if (s.failure.failed())
        lines << translator.translate(QStringLiteral("La importación se ha detenido en la línea %1: %2. Solo está "
                                                    "guardado lo que se cuenta como añadido; vuelva a importar el "
                                                    "archivo cuando se haya resuelto (lo ya guardado no se repite)."))
                     .arg(s.failedAtLine)
                     .arg(databaseFailureText(s.failure, translator));
    if (!s.unreadWhy.isEmpty())
        lines << translator.translate(QStringLiteral("La importación se ha detenido en la línea %1: %2. Solo está "
                                                    "guardado lo que se cuenta como añadido; vuelva a importar el "
                                                    "archivo cuando se haya resuelto (lo ya guardado no se repite)."))
                     .arg(s.unreadAtLine)
                     .arg(s.unreadWhy);
    if (s.cancelled)
        lines << translator.translate(QStringLiteral("Importación cancelada; solo se guardó lo siguiente."));
    for (const TableImport& t : s.tables) {
        if (t.added + t.present + t.differs + t.refused == 0)
            continue;
        lines << translator
                     .translate(QStringLiteral(
                         "%1: %2 añadidos, %3 ya presentes, %4 presentes con otros valores, %5 rechazados"))
                     .arg(t.table)
                     .arg(t.added)
                     .arg(t.present)
                     .arg(t.differs)
                     .arg(t.refused);
        for (const Refusal& r : t.firstRefused)
            lines << QStringLiteral("    ") + refusalText(r, translator);
    }
    if (!s.headerMismatches.isEmpty())
        lines << translator.translate(QStringLiteral("Cabecera distinta de la esperada en: %1"))
                     .arg(s.headerMismatches.join(QStringLiteral(", ")));
    if (!s.ignoredSections.isEmpty())
        lines << translator.translate(QStringLiteral("Secciones desconocidas ignoradas: %1"))
                     .arg(s.ignoredSections.join(QStringLiteral(", ")));
    if (const QString where = verdictLine(s.verdict, s.provenance, &translator); !where.isEmpty())
        lines << where;
    if (!s.sealError.isEmpty())
        lines << translator.translate(QStringLiteral("No se puede escribir en el diario de intercambios: %1"))
                     .arg(s.sealError);
    if (!s.journalHead.isEmpty())
        lines << translator.translate(QStringLiteral("Cabeza de la cadena:")) + QLatin1Char(' ')
                + QString::fromLatin1(s.journalHead);
    return lines;
}

} // namespace tvq52
