#pragma once

#include "support/TestFiles.h"

#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

// The texts of the updater's log lines, each checked for the date, time and "[000]" before it
// and the CR LF after it.
inline QStringList updaterLogTexts(const QString& path) {
    QStringList texts;
    const QByteArray all = testfiles::readFile(path);
    if (all == "<missing>")
        return texts;
    static const QRegularExpression line(
        QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d : \\[000\\] (.*)$"));
    EXPECT_TRUE(all.endsWith("\r\n"));
    for (const QString& l :
         QString::fromUtf8(all).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts)) {
        const QRegularExpressionMatch m = line.match(l);
        EXPECT_TRUE(m.hasMatch()) << l.toStdString();
        texts << m.captured(1);
    }
    return texts;
}
