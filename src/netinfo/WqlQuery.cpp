#include "netinfo/WqlQuery.h"

#include "netinfo/WmiError.h"

namespace zarq {

namespace {

struct Token {
    enum Kind { End, Word, Star, Comma, Equal, NotEqual, Text, Number } kind = End;
    QString text;
};

[[noreturn]] void invalid(const QString& detail) {
    throw WmiError(QStringLiteral("Invalid query: %1").arg(detail));
}

class Lexer {
public:
    explicit Lexer(const QString& text) : m_text(text) {}

    Token next() {
        while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
            ++m_pos;
        if (m_pos >= m_text.size())
            return {Token::End, {}};
        const QChar c = m_text.at(m_pos);
        if (c.isLetter() || c == u'_') {
            const qsizetype start = m_pos;
            while (m_pos < m_text.size() &&
                   (m_text.at(m_pos).isLetterOrNumber() || m_text.at(m_pos) == u'_'))
                ++m_pos;
            return {Token::Word, m_text.mid(start, m_pos - start)};
        }
        if (c.isDigit() || c == u'-' || c == u'+')
            return number();
        if (c == u'\'' || c == u'"')
            return quoted(c);
        ++m_pos;
        if (c == u'*')
            return {Token::Star, QStringLiteral("*")};
        if (c == u',')
            return {Token::Comma, QStringLiteral(",")};
        if (c == u'=')
            return {Token::Equal, QStringLiteral("=")};
        if ((c == u'<' && peek() == u'>') || (c == u'!' && peek() == u'=')) {
            ++m_pos;
            return {Token::NotEqual, QStringLiteral("<>")};
        }
        invalid(QStringLiteral("unexpected character '%1'").arg(c));
    }

private:
    QChar peek() const { return m_pos < m_text.size() ? m_text.at(m_pos) : QChar(); }

    Token number() {
        const qsizetype start = m_pos++;
        while (m_pos < m_text.size() && (m_text.at(m_pos).isDigit() || m_text.at(m_pos) == u'.'))
            ++m_pos;
        const QString text = m_text.mid(start, m_pos - start);
        bool ok = false;
        text.toDouble(&ok);
        if (!ok)
            invalid(QStringLiteral("'%1' is not a number").arg(text));
        return {Token::Number, text};
    }

    Token quoted(QChar quote) {
        QString value;
        ++m_pos;
        while (m_pos < m_text.size()) {
            QChar c = m_text.at(m_pos++);
            if (c == quote)
                return {Token::Text, value};
            if (c == u'\\') {
                if (m_pos >= m_text.size())
                    break;
                c = m_text.at(m_pos++);
            }
            value.append(c);
        }
        invalid(QStringLiteral("a quoted text is not closed"));
    }

    const QString& m_text;
    qsizetype m_pos = 0;
};

bool isKeyword(const Token& token, const char* keyword) {
    return token.kind == Token::Word &&
           token.text.compare(QLatin1String(keyword), Qt::CaseInsensitive) == 0;
}

bool isReserved(const Token& token) {
    for (const char* word : {"SELECT", "FROM", "WHERE", "NULL", "TRUE", "FALSE"}) {
        if (isKeyword(token, word))
            return true;
    }
    return false;
}

QString expectName(Lexer& lexer, const QString& what) {
    const Token token = lexer.next();
    if (token.kind != Token::Word || isReserved(token))
        invalid(QStringLiteral("expected %1").arg(what));
    return token.text;
}

// Compares one element of a property with a literal that is not NULL.
bool elementEquals(int cimType, const QVariant& element, const QVariant& literal) {
    if (!element.isValid() || element.isNull())
        return false;
    switch (cimType) {
    case CimBoolean: {
        const QString text = literal.toString();
        bool number = false;
        const double d = text.toDouble(&number);
        bool wanted = number && d != 0;
        if (!number) {
            if (text.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
                wanted = true;
            else if (text.compare(QLatin1String("false"), Qt::CaseInsensitive) != 0)
                return false;
        }
        return element.toBool() == wanted;
    }
    case CimSint8:
    case CimSint16:
    case CimSint32:
    case CimSint64:
    case CimUint8:
    case CimUint16:
    case CimUint32:
    case CimUint64:
    case CimReal32:
    case CimReal64: {
        bool okLiteral = false;
        bool okElement = false;
        const double want = literal.toString().toDouble(&okLiteral);
        const double have = element.toString().toDouble(&okElement);
        return okLiteral && okElement && want == have;
    }
    default:
        return element.toString().compare(literal.toString(), Qt::CaseInsensitive) == 0;
    }
}

} // namespace

WqlQuery WqlQuery::parse(const QString& text) {
    WqlQuery query;
    Lexer lexer(text);
    if (!isKeyword(lexer.next(), "SELECT"))
        invalid(QStringLiteral("a query begins with SELECT"));

    Token token = lexer.next();
    if (token.kind == Token::Star) {
        token = lexer.next();
    } else {
        for (;;) {
            if (token.kind != Token::Word || isReserved(token))
                invalid(QStringLiteral("expected a property name or * after SELECT"));
            query.m_columns.append(token.text);
            token = lexer.next();
            if (token.kind != Token::Comma)
                break;
            token = lexer.next();
        }
    }
    if (!isKeyword(token, "FROM"))
        invalid(QStringLiteral("expected FROM after the property list"));
    query.m_className = expectName(lexer, QStringLiteral("a class name after FROM"));

    token = lexer.next();
    if (isKeyword(token, "WHERE")) {
        Condition condition;
        condition.property = expectName(lexer, QStringLiteral("a property name after WHERE"));
        token = lexer.next();
        if (token.kind == Token::Equal)
            condition.comparison = Comparison::Equal;
        else if (token.kind == Token::NotEqual)
            condition.comparison = Comparison::NotEqual;
        else
            invalid(QStringLiteral("expected = or <> after %1").arg(condition.property));

        token = lexer.next();
        if (token.kind == Token::Text || token.kind == Token::Number)
            condition.literal = token.text;
        else if (isKeyword(token, "TRUE") || isKeyword(token, "FALSE"))
            condition.literal = token.text.toUpper();
        else if (!isKeyword(token, "NULL"))
            invalid(QStringLiteral("expected a quoted text, a number or NULL after %1")
                        .arg(condition.comparison == Comparison::Equal ? "=" : "<>"));
        query.m_condition = condition;
        token = lexer.next();
    }
    if (token.kind != Token::End)
        invalid(QStringLiteral("unexpected '%1' after the end of the query").arg(token.text));
    return query;
}

QString WqlQuery::quoted(const QString& text) {
    QString literal;
    literal.reserve(text.size() + 2);
    literal.append(u'\'');
    for (const QChar c : text) {
        if (c == u'\'' || c == u'\\')
            literal.append(u'\\');
        literal.append(c);
    }
    literal.append(u'\'');
    return literal;
}

bool WqlQuery::accepts(const WmiProperty& property) const {
    if (!m_condition)
        return true;
    const Condition& c = *m_condition;
    const bool equal = c.comparison == Comparison::Equal;
    if (!c.literal.isValid())
        return property.isNull() == equal;
    if (property.isNull())
        return false;

    bool found = false;
    if (property.isArray()) {
        for (const QVariant& element : property.value.toList())
            found = found || elementEquals(property.cimType, element, c.literal);
    } else {
        found = elementEquals(property.cimType, property.value, c.literal);
    }
    return found == equal;
}

} // namespace zarq
