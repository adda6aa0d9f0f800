#include "core/SecureWipe.h"

#include <gtest/gtest.h>

#include <algorithm>

TEST(SecureWipe, ABufferBecomesZeros) {
    char buffer[] = "segreto";
    SecureWipe(buffer, sizeof buffer);
    EXPECT_TRUE(std::all_of(std::begin(buffer), std::end(buffer), [](char c) { return c == 0; }));
    SecureWipe(nullptr, 0);
}

// What a string held before it shrank lies beyond its size and must go too.
TEST(SecureWipe, AStringIsWipedToItsCapacityAndLeftEmpty) {
    std::string password = "una password piuttosto lunga da tenere fuori dallo heap";
    password = "corta";
    const char* buffer = password.data();
    const size_t capacity = password.capacity();
    ASSERT_GT(capacity, 40u);
    SecureWipe(password);
    EXPECT_TRUE(password.empty());
    EXPECT_EQ(password.data(), buffer);
    EXPECT_EQ(password.capacity(), capacity);
    EXPECT_TRUE(std::all_of(buffer, buffer + capacity, [](char c) { return c == 0; }));
}

TEST(SecureWipe, AWipedStringWipesWhatItHeldWhenReplaced) {
    TWipedString secret;
    secret = "una password piuttosto lunga da tenere fuori dallo heap";
    const char* buffer = secret.Get().data();
    const size_t capacity = secret.Get().capacity();
    secret = "corta";
    EXPECT_EQ(secret.Get(), "corta");
    ASSERT_EQ(secret.Get().data(), buffer);  // it fitted: the same buffer
    EXPECT_TRUE(std::all_of(buffer + 6, buffer + capacity, [](char c) { return c == 0; }));
}
