#include <gtest/gtest.h>

#include "comlux/StreamKinds.h"

namespace comlux {
namespace {

TEST(StreamKinds, EveryRowSitsAtItsKindAndIsFoundByItsDataTypeWord) {
    for (std::size_t i = 0; i < kStreamKinds.size(); ++i) {
        const StreamKindInfo& info = kStreamKinds[i];
        EXPECT_EQ(static_cast<std::size_t>(info.kind), i);
        EXPECT_EQ(&InfoOf(info.kind), &info);
        EXPECT_EQ(StreamKindOfDataType(info.dataType), info.kind) << info.dataType;
    }
}

TEST(StreamKinds, OnlyTheExactWordNamesAKind) {
    EXPECT_EQ(StreamKindOfDataType("sescacqent"), std::nullopt);
    EXPECT_EQ(StreamKindOfDataType("SEScAcqEnt "), std::nullopt);
    EXPECT_EQ(StreamKindOfDataType(""), std::nullopt);
    EXPECT_EQ(StreamKindOfDataType("AcqEnt"), std::nullopt);
}

}  // namespace
}  // namespace comlux
