#include "programming/programming_browser.h"

#include <QRegularExpression>
#include <array>

namespace tvq52 {

namespace {

// The programming window's fields, then the recorded-data window's.
const std::array<SearchField, 12> kSearchFields{{
    {QStringLiteral("MaskNumeroSerie"), QStringLiteral("LNumeroSerie"), 2},
    {QStringLiteral("MaskVersion"), QStringLiteral("TVersion"), 3},
    {QStringLiteral("MaskFecha"), QStringLiteral("DFecha"), 4},
    {QStringLiteral("MaskContacto"), QStringLiteral("TContacto"), 5},
    {QStringLiteral("MaskLocal"), QStringLiteral("TLocal"), 6},
    {QStringLiteral("MaskDireccion"), QStringLiteral("TDireccion"), 7},
    {QStringLiteral("MaskPoblacion"), QStringLiteral("TPoblacion"), 8},
    {QStringLiteral("MaskTelefono"), QStringLiteral("TTelefono"), 9},
    {QStringLiteral("TextNumeroSerie"), QStringLiteral("LNumeroSerie"), 2},
    {QStringLiteral("TextVersion"), QStringLiteral("TVersion"), 3},
    {QStringLiteral("TextFecha"), QStringLiteral("DFecha"), 4},
    {QStringLiteral("TextLocal"), QStringLiteral("TLocal"), 6},
}};

} // namespace

std::optional<SearchField> searchFieldOf(const QString& control)
{
    for (const SearchField& f : kSearchFields)
        if (f.control == control)
            return f;
    return std::nullopt;
}

Result<std::optional<qint32>> ProgrammingBrowser::step(SerialStep step, qint32 serial) const
{
    return unitSerial(database_, step, serial);
}

bool ProgrammingBrowser::isEmpty() const
{
    return !serialFound(first()).has_value();
}

bool ProgrammingBrowser::contains(qint32 serial) const
{
    return serialFound(step(SerialStep::Equal, serial)).has_value();
}

Result<std::optional<qint32>> ProgrammingBrowser::first() const
{
    return step(SerialStep::First, 0);
}

Result<std::optional<qint32>> ProgrammingBrowser::next(qint32 serial) const
{
    return step(SerialStep::After, serial);
}

Result<std::optional<qint32>> ProgrammingBrowser::previous(qint32 serial) const
{
    return step(SerialStep::Before, serial);
}

Result<std::optional<qint32>> ProgrammingBrowser::findContaining(const SearchField& field, const QString& text) const
{
    // Only the known columns reach the query text.
    const auto known = searchFieldOf(field.control);
    if (!known)
        return std::optional<qint32>();
    return firstUnitContaining(database_, known->column, text);
}

std::optional<qint32> ProgrammingBrowser::findCommandLineSerial(const QString& argument) const
{
    static const QRegularExpression digits(QStringLiteral("^-?\\d{1,10}$"));
    const QString text = argument.trimmed();
    bool ok = false;
    const qint32 serial = text.toInt(&ok);
    // Leading zeros or signs would not match the stored serial's text.
    if (!digits.match(text).hasMatch() || !ok || QString::number(serial) != text)
        return std::nullopt;
    if (!contains(serial))
        return std::nullopt;
    return serial;
}

} // namespace tvq52
