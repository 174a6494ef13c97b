#include <QCoreApplication>
#include <gtest/gtest.h>

// Core tests run without any display: a QCoreApplication gives them an event loop.
int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
