#pragma once

#include <QString>
#include <stdexcept>

namespace zarq {

// A failure reported by a WMI provider (connection refused, invalid query, a value that
// cannot be converted). Its message is what the query helper hands back as error text.
class WmiError : public std::runtime_error {
public:
    explicit WmiError(const QString& message);

    QString message() const { return QString::fromUtf8(what()); }
};

} // namespace zarq
