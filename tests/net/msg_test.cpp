#include "net/msg.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

TEST(Msg, ValuesAreCopiedAtConstruction) {
    std::string name = "first";
    CVar2Msg<int, std::string> msg(7, 42, name);
    name = "changed";
    EXPECT_EQ(msg.GetType(), 7);
    EXPECT_EQ(msg.var1, 42);
    EXPECT_EQ(msg.var2, "first");
}

TEST(Msg, DeletingThroughTheBaseReleasesTheValues) {
    auto value = std::make_shared<int>(5);
    CMsg* msg = new CVar1Msg<std::shared_ptr<int>>(1, value);
    EXPECT_EQ(value.use_count(), 2);
    delete msg;
    EXPECT_EQ(value.use_count(), 1);
}
