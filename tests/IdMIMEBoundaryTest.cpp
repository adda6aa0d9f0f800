#include "message/IdMIMEBoundary.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

bool IsBoundaryChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }

TEST(IdMIMEBoundary, StackOfBoundariesAndParents) {
    TIdMIMEBoundary stack;
    EXPECT_EQ(stack.Boundary(), "");
    EXPECT_EQ(stack.ParentPart(), -1);
    stack.PushBoundary("outer", -1);
    stack.PushBoundary("inner", 3);
    EXPECT_EQ(stack.Count(), 2);
    EXPECT_EQ(stack.Boundary(), "inner");
    EXPECT_EQ(stack.ParentPart(), 3);
    stack.PopBoundary();
    EXPECT_EQ(stack.Boundary(), "outer");
    EXPECT_EQ(stack.ParentPart(), -1);
    stack.Clear();
    EXPECT_EQ(stack.Count(), 0);
    stack.PopBoundary();
    EXPECT_EQ(stack.Count(), 0);
}

TEST(IdMIMEBoundary, ShapeOverManyGenerations) {
    uint32_t seed = 12345;
    int pairAt[35] = {};
    bool sawLower = false, sawUpper = false, sawDigit = false;
    for (int n = 0; n < 20000; ++n) {
        const std::string b = TIdMIMEBoundaryStrings::GenerateBoundary(seed);
        ASSERT_EQ(b.size(), 34u);
        const size_t at = b.find("=_");
        ASSERT_NE(at, std::string::npos) << b;
        ASSERT_LT(at, 33u);  // never starts at the last position
        ++pairAt[at];
        for (size_t i = 0; i < b.size(); ++i) {
            if (i == at || i == at + 1) continue;
            ASSERT_TRUE(IsBoundaryChar(b[i])) << b;
            sawLower |= std::islower(static_cast<unsigned char>(b[i])) != 0;
            sawUpper |= std::isupper(static_cast<unsigned char>(b[i])) != 0;
            sawDigit |= std::isdigit(static_cast<unsigned char>(b[i])) != 0;
        }
        ASSERT_EQ(b.find('=', at + 1), std::string::npos);
    }
    EXPECT_TRUE(sawLower && sawUpper && sawDigit);
    for (int p = 0; p < 33; ++p) EXPECT_GT(pairAt[p], 0) << p;
    for (int i = 0; i < 1000; ++i) EXPECT_TRUE(IsBoundaryChar(TIdMIMEBoundaryStrings::RandomBoundaryChar(seed)));
}

TEST(IdMIMEBoundary, GeneratorIsTheClassicLcg) {
    // seed 0: first draw is seed 1 -> r = 2^-32, x = 1 -> "0".
    uint32_t seed = 0;
    EXPECT_EQ(TIdMIMEBoundaryStrings::RandomBoundaryChar(seed), '0');
    EXPECT_EQ(seed, 1u);
    // seed 134775814: r = 0.0314 -> x = 3 -> "2".
    EXPECT_EQ(TIdMIMEBoundaryStrings::RandomBoundaryChar(seed), '2');
}

TEST(IdMIMEBoundary, OneBoundaryPerProcess) {
    const std::string first = TIdMIMEBoundaryStrings::Instance().NewBoundary();
    EXPECT_EQ(first.size(), 34u);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(TIdMIMEBoundaryStrings::Instance().NewBoundary(), first);
    EXPECT_TRUE(IsBoundaryChar(TIdMIMEBoundaryStrings::Instance().NextBoundaryChar()));
    EXPECT_EQ(TIdMIMEBoundaryStrings::Instance().NewBoundary(), first);
}

}  // namespace
