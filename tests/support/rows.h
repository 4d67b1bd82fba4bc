#pragma once

#include "db/store.h"

#include <initializer_list>
#include <utility>

namespace tvq52::test {

inline Row row(std::initializer_list<std::pair<const char*, QVariant>> values)
{
    Row r;
    for (const auto& [column, value] : values)
        r.set(QString::fromUtf8(column), value);
    return r;
}

} // namespace tvq52::test
