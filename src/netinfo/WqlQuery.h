#pragma once

#include "netinfo/WmiProperty.h"

#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>

namespace zarq {

// The subset of WQL the WMI stand-in answers:
//   SELECT <* or name[, name...]> FROM <class> [WHERE <name> (= or <> or !=) <literal>]
// where the literal is a quoted text ('...' or "...", backslash escapes the next character),
// a decimal number, TRUE, FALSE or NULL. Keywords, class and property names are matched
// without regard to case. Any other text is an invalid query.
class WqlQuery {
public:
    enum class Comparison { Equal, NotEqual };

    struct Condition {
        QString property;
        Comparison comparison = Comparison::Equal;
        QVariant literal; // invalid for NULL
    };

    // Throws WmiError with a message that says what is wrong with the text.
    static WqlQuery parse(const QString& text);

    // The text as a single-quoted literal that parse() reads back unchanged: every quote
    // and backslash gets a backslash before it. Values pasted into a query (an interface
    // name may hold either) go through here, or they would end or bend the literal.
    static QString quoted(const QString& text);

    bool selectsAll() const { return m_columns.isEmpty(); }
    const QStringList& columns() const { return m_columns; }
    const QString& className() const { return m_className; }
    const std::optional<Condition>& condition() const { return m_condition; }

    // Whether an instance whose condition property is `property` passes the WHERE clause.
    // On an array property "=" means that some element equals the literal, "<>" that none
    // does. Texts compare without regard to case; a null value only matches NULL.
    bool accepts(const WmiProperty& property) const;

private:
    QStringList m_columns;
    QString m_className;
    std::optional<Condition> m_condition;
};

} // namespace zarq
