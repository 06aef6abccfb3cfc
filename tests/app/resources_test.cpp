#include <gtest/gtest.h>

#include <QImage>

TEST(Resources, LogoAndIconAreCompiledIn) {
    const QImage logo(QStringLiteral(":/orvix/logo.png"));
    ASSERT_FALSE(logo.isNull());
    EXPECT_EQ(logo.size(), QSize(400, 300));
    const QImage icon(QStringLiteral(":/orvix/icon.png"));
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.size(), QSize(256, 256));
    EXPECT_EQ(QImage(QStringLiteral(":/orvix/icon-64.png")).size(), QSize(64, 64));
    // Dark where the status line is drawn, so white and red text stays readable.
    EXPECT_LT(qGray(logo.pixel(20, 10)), 64);
    EXPECT_LT(qGray(logo.pixel(120, 25)), 64);
}
