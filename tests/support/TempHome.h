#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// A temporary HOME with its XDG folders for child processes that find their files through
// them; the machine's real folders are never touched.
class TempHome {
public:
    TempHome() {
        EXPECT_TRUE(m_dir.isValid());
        for (const char* sub : {".config", ".cache", ".local/share"})
            QDir().mkpath(path() + QLatin1Char('/') + QLatin1String(sub));
    }
    QString path() const { return m_dir.path(); }

    // The environment of a child process that lives in this home.
    QProcessEnvironment environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), path() + QStringLiteral("/.config"));
        env.insert(QStringLiteral("XDG_CACHE_HOME"), path() + QStringLiteral("/.cache"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), path() + QStringLiteral("/.local/share"));
        return env;
    }

private:
    QTemporaryDir m_dir;
};
