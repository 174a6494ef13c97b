#pragma once

#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

// A throw-away home for a test: HOME and the XDG folders point into a temporary directory and
// are restored afterwards, so no test reads or writes the machine's real ones.
class CoreTestHome {
public:
    CoreTestHome() {
        const QString root = tmp.path();
        set("HOME", root + "/home");
        set("XDG_CONFIG_HOME", root + "/home/.config");
        set("XDG_CACHE_HOME", root + "/home/.cache");
        set("XDG_DATA_HOME", root + "/home/.local/share");
        QDir().mkpath(root + "/home/Documents");
    }
    ~CoreTestHome() {
        for (const auto& [name, value] : saved) {
            if (value.has_value)
                setenv(name.c_str(), value.text.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
    }
    QString home() const { return tmp.path() + "/home"; }
    QString documents() const { return home() + "/Documents"; }
    QString path(const QString& name) const { return tmp.path() + "/" + name; }

private:
    struct Saved {
        bool has_value;
        std::string text;
    };
    void set(const char* name, const QString& value) {
        const char* old = std::getenv(name);
        saved.emplace(name, Saved{old != nullptr, old != nullptr ? old : ""});
        setenv(name, value.toLocal8Bit().constData(), 1);
    }
    QTemporaryDir tmp;
    std::map<std::string, Saved> saved;
};
