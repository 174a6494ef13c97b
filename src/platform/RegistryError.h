#pragma once

#include <QString>
#include <stdexcept>

namespace zarq {

// The registry layer's error. `message()` is the text a user sees ("Failed to set data for
// 'loginname'"); `detail()` carries the operating system's reason, when there is one, for logs.
class ERegistryException : public std::runtime_error {
public:
    explicit ERegistryException(const QString& message, const QString& detail = {},
                                const QString& valueName = {})
        : std::runtime_error(message.toStdString()), m_message(message), m_detail(detail),
          m_valueName(valueName) {}

    QString message() const { return m_message; }
    QString detail() const { return m_detail; }
    // The value the failure is about; empty when it is about the file as a whole.
    QString valueName() const { return m_valueName; }
    // For a log line: the message, then the reason in parentheses when there is one.
    QString messageWithDetail() const {
        return m_detail.isEmpty() ? m_message : QStringLiteral("%1 (%2)").arg(m_message, m_detail);
    }

    static ERegistryException invalidDataType(const QString& valueName) {
        return ERegistryException(QStringLiteral("Invalid data type for '%1'").arg(valueName), {},
                                  valueName);
    }
    static ERegistryException failedToSet(const QString& valueName, const QString& detail) {
        return ERegistryException(QStringLiteral("Failed to set data for '%1'").arg(valueName),
                                  detail, valueName);
    }
    static ERegistryException failedToGet(const QString& valueName) {
        return ERegistryException(QStringLiteral("Failed to get data for '%1'").arg(valueName), {},
                                  valueName);
    }

private:
    QString m_message;
    QString m_detail;
    QString m_valueName;
};

} // namespace zarq
