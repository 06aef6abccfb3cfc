#include <gtest/gtest.h>

#include "link/model_class.h"

using namespace orvix;

TEST(ModelClass, CodeToIndexTable) {
    EXPECT_EQ(modelIndexForCode(42), 12);
    EXPECT_EQ(modelIndexForCode(11), 0);
    EXPECT_EQ(modelIndexForCode(64), 40);
    EXPECT_EQ(modelIndexForCode(91), 47);
    EXPECT_EQ(modelIndexForCode(101), 52);
    EXPECT_EQ(modelIndexForCode(99), std::nullopt);
    EXPECT_EQ(modelIndexForCode(0), std::nullopt);
}

TEST(ModelClass, ClassesAndFraming) {
    for (int m : {0, 1, 2, 10, 16, 20, 21, 47}) {
        EXPECT_TRUE(isWideClass(m)) << m;
        EXPECT_EQ(commandFraming(m), FramingKind::Wide) << m;
    }
    for (int m : {23, 30, 46, 48, 52}) {
        EXPECT_TRUE(isPlainClass(m)) << m;
        EXPECT_EQ(commandFraming(m), FramingKind::Plain) << m;
    }
    for (int m : {-1, 3, 9, 17, 19, 22, 53, 1000}) {
        EXPECT_EQ(commandFraming(m), std::nullopt) << m;
    }
}
