#pragma once

#include "shell/AutostartStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Temporary autostart folders. With `machineWritable` false the machine folder lies below a
// regular file, so it can be neither created nor written, even by root.
class AutostartFixture : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tmp.isValid());
        QFile blocker(tmp.filePath("file"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        dirs = {tmp.filePath("config/autostart"), tmp.filePath("etc/xdg/autostart")};
    }
    void blockMachineFolder() { dirs.localMachine = tmp.filePath("file/autostart"); }

    QString userFile() const { return dirs.currentUser + "/TervanZarq.desktop"; }
    QString machineFile() const { return dirs.localMachine + "/TervanZarq.desktop"; }
    zarq::AutostartStore store() const { return zarq::AutostartStore(dirs); }
    QString read(zarq::TRegLocation root) const {
        return store().readValue(root, zarq::AutostartStore::runKeyPath(), "TervanZarq");
    }
    void plant(zarq::TRegLocation root, const QString& program = "/old/place/zarq") {
        ASSERT_TRUE(
            store().writeValue(root, zarq::AutostartStore::runKeyPath(), "TervanZarq", program));
    }

    QTemporaryDir tmp;
    zarq::AutostartDirs dirs;
    const QString program = QStringLiteral("/usr/local/bin/zarq");
};
