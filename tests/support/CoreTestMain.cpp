#include <QCoreApplication>
#include <gtest/gtest.h>

#include "support/SanitizerReports.h"

// Core tests run without any display: a QCoreApplication gives them an event loop.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    const zarq::test::SanitizerReports reports;
    const int status = RUN_ALL_TESTS();
    return reports.printNew() > 0 ? 1 : status;
}
