#include <QApplication>
#include <gtest/gtest.h>

#include "support/SanitizerReports.h"

// Widget tests run on the offscreen platform unless the caller chose another one.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const zarq::test::SanitizerReports reports;
    const int status = RUN_ALL_TESTS();
    return reports.printNew() > 0 ? 1 : status;
}
