// Tests for the MD5 digest: the RFC 1321 suite, block boundaries and split input.
#include "resid/Md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string ToHex(const uint8_t digest[16]) {
    static const char Digits[] = "0123456789ABCDEF";
    std::string hex;
    for (int i = 0; i < 16; ++i) {
        hex += Digits[digest[i] >> 4];
        hex += Digits[digest[i] & 15];
    }
    return hex;
}

std::string DigestOf(const std::string& text) {
    Md5Context context;
    Md5Init(context);
    Md5Update(context, text.data(), text.size());
    Md5Final(context);
    return ToHex(context.Digest);
}

} // namespace

TEST(Md5Test, Rfc1321Suite) {
    const struct {
        const char* Text;
        const char* Digest;
    } cases[] = {
        {"", "D41D8CD98F00B204E9800998ECF8427E"},
        {"a", "0CC175B9C0F1B6A831C399E269772661"},
        {"abc", "900150983CD24FB0D6963F7D28E17F72"},
        {"message digest", "F96B697D7CB7938D525A2F31AAF161D0"},
        {"abcdefghijklmnopqrstuvwxyz", "C3FCD3D76192E4007DFB496CCA67E13B"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "D174AB98D277D9F5A5611C2C9F419D9F"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57EDF4A22BE3C955AC49DA2E2107B67A"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        EXPECT_EQ(DigestOf(c.Text), c.Digest);
    }
}

TEST(Md5Test, LengthsAroundBlockBoundaries) {
    // 55 bytes leave room for the length in the same block; 56 push it into a second one; 64 fill a block
    // during the update itself.
    const struct {
        size_t Length;
        const char* Digest;
    } cases[] = {
        {55, "EF1772B6DFF9A122358552954AD0DF65"}, {56, "3B0C8AC703F828B04C6C197006D17218"},
        {57, "652B906D60AF96844EBD21B674F35E93"}, {63, "B06521F39153D618550606BE297466D5"},
        {64, "014842D480B571495A4A0363793F7367"}, {65, "C743A45E0D2E6A95CB859ADAE0248435"},
        {1000, "CABE45DCC9AE5B66BA86600CCA6B8BA8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Length);
        EXPECT_EQ(DigestOf(std::string(c.Length, 'a')), c.Digest);
    }
}

TEST(Md5Test, SplitUpdatesEqualOneUpdate) {
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += static_cast<char>(i * 7 + 3);
    const std::string whole = DigestOf(text);
    for (size_t piece : {1, 3, 55, 56, 63, 64, 65, 127}) {
        SCOPED_TRACE(piece);
        Md5Context context;
        Md5Init(context);
        for (size_t at = 0; at < text.size(); at += piece)
            Md5Update(context, text.data() + at, std::min(piece, text.size() - at));
        Md5Final(context);
        EXPECT_EQ(ToHex(context.Digest), whole);
    }
}

TEST(Md5Test, BitCountCarriesIntoHighWord) {
    Md5Context context;
    Md5Init(context);
    context.BitCount[0] = 0xFFFFFFF8u;
    Md5Update(context, "x", 1);
    EXPECT_EQ(context.BitCount[0], 0u);
    EXPECT_EQ(context.BitCount[1], 1u);
}
