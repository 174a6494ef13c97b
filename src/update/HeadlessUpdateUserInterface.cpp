#include "update/HeadlessUpdateUserInterface.h"

#include <cstdio>

namespace zarq {

namespace {

// Message texts carry carriage returns as line breaks (the message box's kind); a terminal
// would write the next line over the last one.
QString lines(const QString& text) {
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

void say(const QString& what, const QString& text) {
    std::fprintf(stderr, "zarq: update %s: %s\n", qPrintable(what), qPrintable(lines(text)));
    std::fflush(stderr);
}

void sayText(const QString& what, const QString& caption, const QStringList& text) {
    say(what, caption);
    for (const QString& line : text)
        std::fprintf(stderr, "  %s\n", qPrintable(lines(line)));
    std::fflush(stderr);
}

} // namespace

bool HeadlessUpdateUserInterface::answer(const char* what, const QString& text) const {
    say(QString::fromLatin1(what) +
            (m_yes ? QStringLiteral(" answered Yes (--yes)") : QStringLiteral(" answered No")),
        text);
    return m_yes;
}

bool HeadlessUpdateUserInterface::Confirm(const QString& text) {
    return answer("question", text);
}

void HeadlessUpdateUserInterface::ShowError(const QString& text) {
    say(QStringLiteral("error"), text);
}

bool HeadlessUpdateUserInterface::Login(const QString& caption, QString&, QString&) {
    say(QStringLiteral("login cancelled without a display"), caption);
    return false;
}

void HeadlessUpdateUserInterface::ShowMessage(const QString& text) {
    say(QStringLiteral("message"), text);
}

bool HeadlessUpdateUserInterface::Query(const QString& text) {
    return answer("question", text);
}

bool HeadlessUpdateUserInterface::ShowWhatsNew(const QString& caption, const QStringList& text,
                                               const QString&, const QString&) {
    sayText(QStringLiteral("news"), caption, text);
    return answer("news", caption);
}

bool HeadlessUpdateUserInterface::ShowEULA(const QString& caption, const QStringList& text,
                                           const QString&, const QString&, const QString&) {
    sayText(QStringLiteral("licence"), caption, text);
    return answer("licence", caption);
}

void HeadlessUpdateUserInterface::OpenURL(const QString& url) {
    say(QStringLiteral("page to open"), url);
}

} // namespace zarq
