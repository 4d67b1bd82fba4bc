#pragma once

#include "core/error.h"

class QSqlError;

namespace tvq52 {

// A failed statement or connection told in the database's own words.
Error sqlError(const QSqlError& error);

} // namespace tvq52
