#include "net/IdBuffer.h"

#include <gtest/gtest.h>

#include "net/IdNetExceptions.h"

namespace {
std::string Bytes(char c, size_t n) { return std::string(n, c); }
}  // namespace

TEST(IdBuffer, GrowsByTheGrowthFactorAndKeepsOrder) {
    TIdBuffer buffer;
    buffer.Write(std::string("abc"));
    EXPECT_EQ(buffer.Capacity(), 3);  // an empty buffer takes the bytes as its storage
    buffer.Write(std::string("de"));
    EXPECT_EQ(buffer.Capacity(), 2 + 3 + TIdBuffer::GrowthFactor);
    buffer.Write(std::string("fgh"));
    EXPECT_EQ(buffer.Capacity(), 2 + 3 + TIdBuffer::GrowthFactor);  // fits the free room
    EXPECT_EQ(buffer.Extract(), "abcdefgh");
    EXPECT_EQ(buffer.Size(), 0);
}

TEST(IdBuffer, EmptyBufferTakesOverMovedBytesWithoutCopy) {
    TIdBuffer buffer;
    TIdBytes bytes(100, 'x');
    const uint8_t* storage = bytes.data();
    buffer.Write(std::move(bytes));
    EXPECT_EQ(buffer.Data(), storage);
    EXPECT_EQ(buffer.Size(), 100);
}

TEST(IdBuffer, RemovalCompactsOnlyPastTheGrowthFactor) {
    TIdBuffer buffer;
    buffer.Write(Bytes('a', 5000) + "tail");
    buffer.Remove(2048);
    EXPECT_EQ(buffer.HeadIndex(), 2048);  // not moved yet
    EXPECT_EQ(buffer.Capacity(), 5004);
    buffer.Remove(1);
    EXPECT_EQ(buffer.HeadIndex(), 0);  // moved and cut to size + 2048
    EXPECT_EQ(buffer.Capacity(), buffer.Size() + TIdBuffer::GrowthFactor);
    EXPECT_EQ(buffer.Size(), 5004 - 2049);
    buffer.Remove(buffer.Size() - 4);
    EXPECT_EQ(buffer.Extract(), "tail");
}

TEST(IdBuffer, AppendAfterRemovalMovesValidBytesToTheFront) {
    TIdBuffer buffer;
    buffer.Write(std::string("0123456789"));
    buffer.Remove(8);
    buffer.Write(std::string("ab"));
    EXPECT_EQ(buffer.HeadIndex(), 0);
    EXPECT_EQ(buffer.Capacity(), 10);  // room after moving was enough
    EXPECT_EQ(buffer.Extract(), "89ab");
}

TEST(IdBuffer, RemovingEverythingDropsTheStorageAndReportsTheCount) {
    std::vector<int32_t> reported;
    TIdBuffer buffer([&](int32_t n) { reported.push_back(n); });
    buffer.Write(std::string("hello"));
    buffer.Remove(2);
    buffer.Remove(3);
    EXPECT_EQ(buffer.Capacity(), 0);
    EXPECT_EQ(reported, (std::vector<int32_t>{2, 3}));
}

TEST(IdBuffer, ExtractAppendsOrOverwritesTheStartAndChecksTheSize) {
    TIdBuffer buffer;
    buffer.Write(std::string("abcdef"));
    TIdBytes dest{'X', 'Y', 'Z', 'W'};
    buffer.ExtractToBytes(dest, 2, true);
    EXPECT_EQ(std::string(dest.begin(), dest.end()), "XYZWab");
    TIdBytes over{'1', '2', '3', '4', '5'};
    buffer.ExtractToBytes(over, 2, false);
    EXPECT_EQ(std::string(over.begin(), over.end()), "cd345");
    TIdBytes empty;
    buffer.ExtractToBytes(empty, 0);
    EXPECT_TRUE(empty.empty());
    try {
        buffer.Extract(3);
        FAIL() << "no exception";
    } catch (const EIdNotEnoughDataInBuffer& e) {
        EXPECT_EQ(e.Message(), "Not enough data in buffer. (3/2)");
    }
    EXPECT_EQ(buffer.Extract(-1), "ef");
}

TEST(IdBuffer, SearchFindsFromTheStartOffsetAndRefusesMisuse) {
    TIdBuffer buffer;
    EXPECT_EQ(buffer.IndexOf("x"), -1);  // empty buffer, even before the checks
    buffer.Write(std::string("ab\r\nab\r\n"));
    EXPECT_EQ(buffer.IndexOf("\r\n"), 2);
    EXPECT_EQ(buffer.IndexOf("\r\n", 3), 6);
    EXPECT_EQ(buffer.IndexOf("zz"), -1);
    EXPECT_EQ(buffer.IndexOf("\n", 7), 7);
    struct Case {
        std::string needle;
        int32_t start;
        const char* message;
    } cases[] = {
        {"", 0, "Buffer terminator must be specified."},
        {"a", -1, "Buffer start position is invalid."},
        {"a", 8, "Buffer start position is invalid."},
    };
    for (const Case& c : cases) {
        try {
            buffer.IndexOf(c.needle, c.start);
            ADD_FAILURE() << "no exception for start " << c.start;
        } catch (const EIdException& e) {
            EXPECT_EQ(e.Message(), c.message);
        }
    }
}

TEST(IdBuffer, RefusesToGrowPastTheLargestSize) {
    // The check runs before any memory is touched, so a fake size will do:
    // a buffer near the limit is simulated by a count near it.
    TIdBuffer buffer;
    buffer.Write(std::string("x"));
    uint8_t byte = 0;
    EXPECT_THROW(buffer.Write(&byte, 2147483647), EIdTooMuchDataInBuffer);
    EXPECT_EQ(buffer.Size(), 1);
}

// The spare behind repeated large sends: reused, never shared by two
// borrowers at once, and not kept once it is as large as a whole file.
TEST(IdBytesLoan, ReusesTheSpareWithoutSharingItAndDropsAHugeOne) {
    TIdBytes spare;
    const uint8_t* storage = nullptr;
    {
        TIdBytesLoan first(spare);
        first.Bytes().assign(64 * 1024, 'a');
        storage = first.Bytes().data();
    }
    ASSERT_GE(spare.capacity(), 64u * 1024);
    {
        TIdBytesLoan outer(spare);
        EXPECT_TRUE(outer.Bytes().empty());  // handed over cleared
        EXPECT_EQ(outer.Bytes().data(), storage);
        outer.Bytes().assign(1000, 'o');
        {
            TIdBytesLoan nested(spare);  // e.g. a send made from a progress event
            EXPECT_NE(nested.Bytes().data(), outer.Bytes().data());
            nested.Bytes().assign(10, 'n');
        }
        EXPECT_EQ(outer.Bytes(), TIdBytes(1000, 'o'));
    }
    EXPECT_EQ(spare.data(), storage);  // the larger of the two is kept
    {
        TIdBytesLoan huge(spare);
        huge.Bytes().assign(TIdBytesLoan::kKeepLimit + 1, 'h');
    }
    EXPECT_LE(spare.capacity(), TIdBytesLoan::kKeepLimit);
}
