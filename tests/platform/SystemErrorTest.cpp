#include "platform/SystemError.h"

#include <cerrno>
#include <gtest/gtest.h>

using zarq::SystemError;

TEST(SystemError, MessageHasTheFixedLayout) {
    const SystemError e(5, QStringLiteral("Access is denied."));
    EXPECT_STREQ(e.what(), "System Error.  Code: 5.\r\nAccess is denied.");
    EXPECT_EQ(e.code(), 5);
}

TEST(SystemError, FromErrnoCarriesTheCodeAndTheSystemText) {
    const SystemError e = SystemError::fromErrno(ENOENT);
    EXPECT_EQ(e.code(), ENOENT);
    EXPECT_EQ(QString::fromUtf8(e.what()), QStringLiteral("System Error.  Code: %1.\r\n%2")
                                               .arg(ENOENT)
                                               .arg(QString::fromLocal8Bit(strerror(ENOENT))));
}
