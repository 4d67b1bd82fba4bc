#include "db/sql_error.h"

#include "core/own_words.h"

#include <QSqlError>

namespace tvq52 {

Error sqlError(const QSqlError& error)
{
    return finalText(error.text());
}

} // namespace tvq52
