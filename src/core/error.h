#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <utility>
#include <variant>

namespace tvq52 {

// What went wrong, as a value that travels up to the workflow, which shows
// it once: catalogue text `catalogueId` with `detail` under it. Id 0 is a
// failure with nothing to tell (the user stopped the wait).
struct Error {
    explicit Error(int id = 0, QString detailText = {}, int labelId = 0)
        : catalogueId(id), detail(std::move(detailText)), detailLabelId(labelId)
    {}

    int catalogueId = 0;
    QString detail;
    // Catalogue text put before the detail (the name of the bad field), 0 for none.
    int detailLabelId = 0;
    // When set, shown in place of the catalogue text: a native text the
    // workflow translates, its %1.. filled from textArgs. The catalogue id
    // still tells what kind of failure it was.
    QString text;
    QStringList textArgs;
};

// Done, or the error that ended the step.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error)) {}

    bool ok() const { return !error_.has_value(); }
    explicit operator bool() const { return ok(); }
    // Only when !ok().
    const Error& error() const { return *error_; }

private:
    std::optional<Error> error_;
};

// A value, or the error that stopped making it. The one way anything that
// can fail says so, from the database up to the workflows.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Result(Error error) : state_(std::in_place_index<1>, std::move(error)) {}

    bool ok() const { return state_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    T& value() & { return std::get<0>(state_); }
    const T& value() const& { return std::get<0>(state_); }
    T&& value() && { return std::get<0>(std::move(state_)); }
    T* operator->() { return &value(); }
    const T* operator->() const { return &value(); }
    T& operator*() & { return value(); }
    const T& operator*() const& { return value(); }

    // Only when !ok().
    const Error& error() const { return std::get<1>(state_); }
    // The error as a Status, for a caller that passes it on.
    Status status() const { return ok() ? Status() : Status(error()); }

private:
    std::variant<T, Error> state_;
};

} // namespace tvq52
